#include "kernel/NSplitStep.h"

#include <algorithm>
#include <functional>
#include <thread>
#include <typeinfo>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "kernel/NAbstractItem.h"
#include "kernel/NClock.h"
#include "kernel/NModel.h"
#include "kernel/NNet.h"
#include "kernel/NThreadPool.h"

namespace talvero {

bool split_step_detail::OrderedPhase = false;
unsigned long long split_step_detail::UnforeseenArrivals = 0;
unsigned long long split_step_detail::Retakes = 0;
bool split_step_detail::Ahead = false;
std::size_t split_step_detail::Turn = 0;

namespace {

// Below this many synapse steps per thread, handing work to another thread and waiting for it
// costs more than it saves (measured with bench_network on two cores).
constexpr std::size_t kDefaultWorkPerThread = 16384;
// Chunks per thread; each thread takes the same run of them every step.
constexpr std::size_t kChunksPerThread = 8;

std::uint64_t StructureGeneration = 0;
int RequestedThreads = 0;
int ThreadsInUse = 1;
std::size_t WorkPerThread = kDefaultWorkPerThread;

struct NWalkEntry {
    NObject* Object;
    NSplitStepObject* Split;  // null: the object computes whole, in its turn
};

class NPlan final : public NItemOrder {
public:
    bool MaySendBefore(const NAbstractItem* item, std::size_t position) const override {
        if (!item) return false;
        const auto at = Positions.find(item);
        if (at != Positions.end()) return at->second < position;
        return !Sources.contains(item);  // sources compute before the net
    }

    void Build(NModel& model, NNet& net, int threads);
    void Forget() {
        Model = nullptr;
        Ahead = false;
        Sends.clear();
        Late.clear();
        Walk.clear();
        Parallel.clear();
        ChunkEnds.clear();
        Positions.clear();
        Sources.clear();
    }

    NModel* Model = nullptr;
    const NAbstractNet* Net = nullptr;
    std::uint64_t Structure = 0;
    int Requested = -1;
    std::size_t PerThread = 0;
    unsigned long long Clock = 0;
    int Threads = 1;
    std::vector<NWalkEntry> Walk;
    std::vector<NWalkEntry> Parallel;    // the split entries, in walk order
    std::vector<std::size_t> ChunkEnds;  // ends of the chunks of Parallel
    // Every object of the walk splits: each steps ahead, and only those with pulses to send or
    // pulses received before their turn take one.
    bool Ahead = false;
    std::vector<std::vector<std::size_t>> Sends;  // per chunk, the positions with pulses to send
    std::vector<std::size_t> Late;                // a min-heap of positions that received pulses early

private:
    void Flatten(NNet& net);

    std::unordered_map<const NAbstractItem*, std::size_t> Positions;
    std::unordered_set<const NAbstractItem*> Sources;
};

NPlan& Plan() {
    static NPlan* const plan = new NPlan;  // never destroyed: models may outlive static order
    return *plan;
}

void NPlan::Flatten(NNet& net) {
    for (auto it = net.GetObjectsBegin(); it != net.GetObjectsEnd(); ++it) {
        NObject* object = it->get();
        // A net of exactly this class computes its objects in order and nothing else: its objects
        // can join the walk. Any other container computes whole.
        if (typeid(*object) == typeid(NNet)) {
            Flatten(static_cast<NNet&>(*object));
            continue;
        }
        auto* split = dynamic_cast<NSplitStepObject*>(object);
        if (split && !split->CanSplitStep()) split = nullptr;
        if (auto* item = dynamic_cast<NAbstractItem*>(object)) Positions.emplace(item, Walk.size());
        Walk.push_back({object, split});
    }
}

void NPlan::Build(NModel& model, NNet& net, int threads) {
    // Objects of an earlier plan may be gone: their kept values are left alone, not freed here.
    Forget();
    Model = &model;
    Net = &net;
    for (auto s = model.GetSourcesBegin(); s != model.GetSourcesEnd(); ++s) Sources.insert(s->get());
    Flatten(net);

    std::vector<std::size_t> work;
    std::size_t total = 0;
    for (std::size_t i = 0; i < Walk.size(); ++i)
        if (Walk[i].Split) {
            Parallel.push_back(Walk[i]);
            work.push_back(Walk[i].Split->PlanSplitStep(*this, i) + 1);
            total += work.back();
        }
    std::size_t byWork = total / (PerThread ? PerThread : 1);
    if (byWork < 1) byWork = 1;
    Threads = static_cast<int>(std::min<std::size_t>({static_cast<std::size_t>(threads), byWork, Parallel.size()}));
    if (Threads < 1) Threads = 1;
    if (Threads == 1) {
        for (const NWalkEntry& e : Parallel) e.Split->DropSplitStep();
        Walk.clear();
        Parallel.clear();
        Positions.clear();
        Sources.clear();
        return;
    }
    Positions.clear();
    Sources.clear();
    const std::size_t chunks = std::min(Parallel.size(), static_cast<std::size_t>(Threads) * kChunksPerThread);
    std::size_t done = 0;
    for (std::size_t i = 0, c = 1; i < Parallel.size(); ++i) {
        done += work[i];
        if (done * chunks >= total * c) {
            ChunkEnds.push_back(i + 1);
            while (done * chunks >= total * c) ++c;
        }
    }
    if (ChunkEnds.empty() || ChunkEnds.back() != Parallel.size()) ChunkEnds.push_back(Parallel.size());
    // Another object in the walk may read a neuron's zone in its turn: then every zone waits for its own.
    Ahead = Parallel.size() == Walk.size();
    if (Ahead) Sends.assign(ChunkEnds.size(), {});
}

void StepChunks(void* context, int worker) {
    NPlan& plan = *static_cast<NPlan*>(context);
    const std::size_t chunks = plan.ChunkEnds.size();
    // Each thread keeps the same chunks from step to step, so that their states stay in its own
    // caches instead of travelling between cores.
    const std::size_t threads = static_cast<std::size_t>(plan.Threads);
    const std::size_t first = chunks * static_cast<std::size_t>(worker) / threads;
    const std::size_t last = chunks * (static_cast<std::size_t>(worker) + 1) / threads;
    for (std::size_t c = first; c < last; ++c) {
        const std::size_t begin = c == 0 ? 0 : plan.ChunkEnds[c - 1];
        const std::size_t end = plan.ChunkEnds[c];
        std::vector<std::size_t>* sends = plan.Ahead ? &plan.Sends[c] : nullptr;
        if (sends) sends->clear();
        // The same staggered look-ahead as the net's own loop.
        for (std::size_t i = begin; i < end; ++i) {
            if (i + 3 < end) plan.Parallel[i + 3].Object->Prefetch(3);
            if (i + 2 < end) plan.Parallel[i + 2].Object->Prefetch(2);
            if (i + 1 < end) plan.Parallel[i + 1].Object->Prefetch(1);
            if (!sends) plan.Parallel[i].Split->StepIndependentPart();
            else if (plan.Parallel[i].Split->StepAhead()) sends->push_back(i);
        }
    }
}

// The turns of a walk stepped ahead, in the walk's order: the objects with pulses to send, and
// those that received pulses before their turn (which the senders' turns add as they go).
void TakeTurns(NPlan& plan) {
    std::vector<std::size_t>& late = plan.Late;
    late.clear();
    const auto take = [&](std::size_t position) {
        split_step_detail::Turn = position;
        plan.Walk[position].Split->StepAtTurn();
    };
    // A position can be both among the senders and scheduled: its turn is taken once.
    const auto forget = [&](std::size_t position) {
        while (!late.empty() && late.front() == position) {
            std::pop_heap(late.begin(), late.end(), std::greater<>());
            late.pop_back();
        }
    };
    const auto takeLateBefore = [&](std::size_t limit) {
        while (!late.empty() && late.front() < limit) {
            const std::size_t position = late.front();
            forget(position);
            take(position);
        }
    };
    for (const std::vector<std::size_t>& sends : plan.Sends)
        for (const std::size_t position : sends) {
            takeLateBefore(position);
            forget(position);
            take(position);
        }
    takeLateBefore(static_cast<std::size_t>(-1));
}

} // namespace

void split_step_detail::ScheduleTurn(std::size_t position) {
    std::vector<std::size_t>& late = Plan().Late;
    late.push_back(position);
    std::push_heap(late.begin(), late.end(), std::greater<>());
}

void NoteStructureChange() { ++StructureGeneration; }

void SetComputeThreads(int n) { RequestedThreads = n < 0 ? 0 : (n > NThreadPool::kMaxThreads ? NThreadPool::kMaxThreads : n); }
int GetComputeThreads() { return RequestedThreads; }
int GetThreadsInUse() { return ThreadsInUse; }

void SetSplitStepWorkPerThread(std::size_t work) { WorkPerThread = work ? work : kDefaultWorkPerThread; }
std::size_t GetSplitStepWorkPerThread() { return WorkPerThread; }

bool CalculateNetSplit(NModel& model) {
    NPlan& plan = Plan();
    // Automatic is one thread: measured on two cores, the split step of a 10,000-neuron net took
    // longer on two threads than on one (the late-pulse recomputes and the waits outweigh the share).
    const int requested = RequestedThreads ? RequestedThreads : 1;
    ThreadsInUse = 1;
    if (requested <= 1) return false;
    auto* net = dynamic_cast<NNet*>(model.GetNet());
    // One active model per process: the clock the elements read is that model's.
    if (GetActiveModel() != &model || !net || typeid(*net) != typeid(NNet)) return false;
    if (plan.Model != &model || plan.Net != net || plan.Structure != StructureGeneration || plan.Requested != requested ||
        plan.PerThread != WorkPerThread) {
        plan.Structure = StructureGeneration;
        plan.Requested = requested;
        plan.PerThread = WorkPerThread;
        plan.Clock = GetClockGeneration() - 1;
        plan.Build(model, *net, requested);
    }
    if (plan.Threads <= 1) return false;
    // After a change of the time step the synapses take their new constants from a table all share:
    // that step runs on one thread.
    if (plan.Clock != GetClockGeneration()) {
        plan.Clock = GetClockGeneration();
        return false;
    }
    (void)PulseLengthInSteps();  // computed once here, not raced for by the threads

    NThreadPool::Instance().Run(plan.Threads, StepChunks, &plan);
    ThreadsInUse = plan.Threads;

    split_step_detail::OrderedPhase = true;
    if (plan.Ahead) {
        split_step_detail::Ahead = true;
        TakeTurns(plan);
        split_step_detail::Ahead = false;
        split_step_detail::OrderedPhase = false;
        return true;
    }
    const std::size_t count = plan.Walk.size();
    for (std::size_t i = 0; i < count; ++i) {
        if (i + 2 < count) plan.Walk[i + 2].Object->Prefetch(3);
        const NWalkEntry& e = plan.Walk[i];
        if (e.Split) e.Split->StepOrderedPart();
        else e.Object->Calculate();
    }
    split_step_detail::OrderedPhase = false;
    return true;
}

} // namespace talvero
