#include "kernel/NSplitStep.h"

#include <algorithm>
#include <atomic>
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
#include "kernel/NUnitDescription.h"

namespace talvero {

bool split_step_detail::OrderedPhase = false;
unsigned long long split_step_detail::UnforeseenArrivals = 0;
unsigned long long split_step_detail::Retakes = 0;
unsigned long long split_step_detail::FailedGuesses = 0;
bool split_step_detail::Ahead = false;
bool split_step_detail::Guessing = false;
thread_local std::size_t split_step_detail::Turn = 0;

namespace {

// Below this many synapse steps per thread, handing work to another thread and waiting for it
// costs more than it saves (measured with bench_network on two cores).
constexpr std::size_t kDefaultWorkPerThread = 16384;
// Chunks per thread; each thread takes the same run of them every step.
constexpr std::size_t kChunksPerThread = 32;
// Blocks of the walk per thread, for the turns: each thread takes the next free block.
constexpr std::size_t kTurnBlocksPerThread = 16;

std::uint64_t StructureGeneration = 0;
int RequestedThreads = 0;
int ThreadsInUse = 1;
std::size_t WorkPerThread = kDefaultWorkPerThread;

struct NWalkEntry {
    NObject* Object;
    NSplitStepObject* Split;  // null: the object computes whole, in its turn
};

// Counted by each thread on its own and added up after the step.
thread_local unsigned long long RetakesHere = 0;
thread_local unsigned long long UnforeseenHere = 0;
// The min-heap of turns the calling thread is to take.
thread_local std::vector<std::size_t>* LateHere = nullptr;

constexpr std::size_t kNoPosition = static_cast<std::size_t>(-1);
constexpr std::uint32_t kForeign = UINT32_MAX;  // a connector into no object of the walk

inline void Pause() { __builtin_ia32_pause(); }

// All threads of a step meet here between its phases.
class NBarrier {
public:
    void Wait(int threads) {
        const unsigned generation = Generation.load(std::memory_order_acquire);
        if (Arrived.fetch_add(1, std::memory_order_acq_rel) + 1 == threads) {
            Arrived.store(0, std::memory_order_relaxed);
            Generation.fetch_add(1, std::memory_order_release);
            Generation.notify_all();
            return;
        }
        // The other thread is mostly some microseconds away; a core held longer is given back.
        for (int spin = 0; Generation.load(std::memory_order_acquire) == generation; ++spin) {
            if (spin < kSpins) Pause();
            else Generation.wait(generation, std::memory_order_acquire);
        }
    }

private:
    static constexpr int kSpins = 1 << 14;
    alignas(64) std::atomic<int> Arrived{0};
    alignas(64) std::atomic<unsigned> Generation{0};
};

struct NDelivery {
    NAbstractConnector* Connector;
    std::uint32_t Target;  // the receiver's position, or kForeign
    std::uint32_t Sender;  // the sender's position for an early pulse, else kForeign
};

// What one thread keeps of the turns it takes on a guess.
struct alignas(64) NWorkerTurns {
    // The step's pulses by the block of the walk they land in: early (after their sender) and the
    // others; and those into no object of the walk, in the senders' order.
    std::vector<std::vector<NDelivery>> Early, Others;
    std::vector<NDelivery> Foreign;
    std::vector<std::size_t> Late;     // its objects that received pulses before their turn
    std::vector<std::size_t> Retaken;  // in the order taken
    unsigned long long Retakes = 0, Unforeseen = 0;
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
        Items.clear();
        TargetsAt.clear();
        Targets.clear();
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
    // Stepped ahead, the turns too are taken on all threads, each delivering the pulses that land in
    // its own objects: per walk position its item, and per connector of it (from TargetsAt[position])
    // the position of the object the connector belongs to, or kForeign.
    std::vector<NAbstractItem*> Items;
    std::vector<std::uint32_t> TargetsAt;
    std::vector<std::uint32_t> Targets;
    std::size_t TurnBlocks = 0;
    std::size_t BlockOf(std::size_t position) const { return position * TurnBlocks / Walk.size(); }
    std::size_t BlockStart(std::size_t block) const { return (block * Walk.size() + TurnBlocks - 1) / TurnBlocks; }
    std::vector<NWorkerTurns> Workers;
    NBarrier Barrier;
    std::atomic<std::size_t> FirstFailure{kNoPosition};  // the first object whose guess failed
    alignas(64) std::atomic<std::size_t> NextChunk{0};
    alignas(64) std::atomic<std::size_t> NextEarlyBlock{0};
    alignas(64) std::atomic<std::size_t> NextOtherBlock{0};

private:
    void Flatten(NNet& net);
    void FindTargets();

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
    if (Ahead) {
        Sends.assign(ChunkEnds.size(), {});
        TurnBlocks = std::min(Walk.size(), static_cast<std::size_t>(Threads) * kTurnBlocksPerThread);
        Workers = std::vector<NWorkerTurns>(static_cast<std::size_t>(Threads));
        for (NWorkerTurns& w : Workers) {
            w.Early.resize(TurnBlocks);
            w.Others.resize(TurnBlocks);
        }
        FindTargets();
    }
    Positions.clear();
    Sources.clear();
}

void NPlan::FindTargets() {
    for (const NWalkEntry& e : Walk) Items.push_back(dynamic_cast<NAbstractItem*>(e.Object));
    for (std::size_t i = 0; i < Walk.size(); ++i) {
        TargetsAt.push_back(static_cast<std::uint32_t>(Targets.size()));
        if (!Items[i]) continue;
        for (auto c = Items[i]->GetConnectorsBegin(); c != Items[i]->GetConnectorsEnd(); ++c) {
            std::uint32_t target = kForeign;
            const NBasicDescription* unit = (*c)->GetOwner();
            const auto* owner = unit ? dynamic_cast<const NAbstractItem*>(unit->GetOwner()) : nullptr;
            const auto at = owner ? Positions.find(owner) : Positions.end();
            if (at != Positions.end() && Walk[at->second].Split->ReceivesThrough(**c))
                target = static_cast<std::uint32_t>(at->second);
            Targets.push_back(target);
        }
    }
    TargetsAt.push_back(static_cast<std::uint32_t>(Targets.size()));
}

void StepChunks(NPlan& plan, int worker) {
    (void)worker;
    // Chunks go to whichever thread is free: the two cores of a shared machine seldom run at one speed.
    const std::size_t chunks = plan.ChunkEnds.size();
    for (std::size_t c = plan.NextChunk.fetch_add(1, std::memory_order_relaxed); c < chunks;
         c = plan.NextChunk.fetch_add(1, std::memory_order_relaxed)) {
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

// Sorts the pulses of the step's senders by the block of the walk they land in. Every thread
// does it for itself: that costs less than one thread doing it while the others wait.
void SortDeliveries(NPlan& plan, NWorkerTurns& own) {
    for (auto& block : own.Early) block.clear();
    for (auto& block : own.Others) block.clear();
    own.Foreign.clear();
    for (const std::vector<std::size_t>& sends : plan.Sends)
        for (const std::size_t i : sends) {
            const NAbstractItem* item = plan.Items[i];
            const std::uint32_t* target = plan.Targets.data() + plan.TargetsAt[i];
            for (auto c = item->GetConnectorsBegin(); c != item->GetConnectorsEnd(); ++c, ++target) {
                if (*target == kForeign) own.Foreign.push_back({*c, kForeign, kForeign});
                else if (*target > i) own.Early[plan.BlockOf(*target)].push_back({*c, *target, static_cast<std::uint32_t>(i)});
                else own.Others[plan.BlockOf(*target)].push_back({*c, *target, kForeign});
            }
        }
}

void Deliver(const NPlan& plan, const std::vector<NDelivery>& deliveries) {
    // Each arrival follows a chain of pointers through memory the other thread may have written
    // last: the chains of the next arrivals are walked ahead, one level each, so that their misses
    // overlap.
    const std::size_t count = deliveries.size();
    for (std::size_t k = 0; k < count; ++k) {
        if (k + 12 < count) {
            __builtin_prefetch(deliveries[k + 12].Connector);
            __builtin_prefetch(reinterpret_cast<const char*>(deliveries[k + 12].Connector) + 64);
        }
        if (k + 8 < count) deliveries[k + 8].Connector->Prefetch(2);
        if (k + 4 < count) {
            const NDelivery& d = deliveries[k + 4];
            d.Connector->Prefetch(1);
            if (d.Target != kForeign) __builtin_prefetch(plan.Walk[d.Target].Object);
        }
        if (k + 2 < count && deliveries[k + 2].Target != kForeign)
            plan.Walk[deliveries[k + 2].Target].Split->PrefetchArrival();
        const NDelivery& d = deliveries[k];
        split_step_detail::Turn = d.Sender == kForeign ? kNoPosition : d.Sender;
        if (d.Target == kForeign) d.Connector->Transfer();
        else plan.Walk[d.Target].Split->ReceiveAhead(*d.Connector);
    }
}

void NoteFailure(NPlan& plan, std::size_t position) {
    std::size_t seen = plan.FirstFailure.load(std::memory_order_relaxed);
    while (position < seen && !plan.FirstFailure.compare_exchange_weak(seen, position, std::memory_order_relaxed)) {
    }
}

// A step whose objects step ahead takes its turns on the same threads, on the guess that a pulse
// arriving before an object's turn does not change whether that object sends (at N = 10,000, a few
// in a thousand steps have one that does). Each thread delivers the pulses into its own objects and
// takes their turns; a failed guess is taken back after the threads are done.
void StepJob(void* context, int worker) {
    NPlan& plan = *static_cast<NPlan*>(context);
    StepChunks(plan, worker);
    if (!plan.Ahead) return;
    NWorkerTurns& own = plan.Workers[static_cast<std::size_t>(worker)];
    own.Late.clear();
    own.Retaken.clear();
    std::vector<std::size_t> noted;
    LateHere = &noted;
    plan.Barrier.Wait(plan.Threads);

    SortDeliveries(plan, own);
    // A block at a time: its early pulses, then its turns. No pulse is sent now, so all of a block's
    // arrivals are in; its turns are taken in the walk's order for the first failure's sake.
    for (std::size_t b = plan.NextEarlyBlock.fetch_add(1, std::memory_order_relaxed); b < plan.TurnBlocks;
         b = plan.NextEarlyBlock.fetch_add(1, std::memory_order_relaxed)) {
        if (plan.BlockStart(b) > plan.FirstFailure.load(std::memory_order_relaxed)) break;  // to be taken back
        Deliver(plan, own.Early[b]);
        std::sort(noted.begin(), noted.end());
        std::size_t k = 0;
        for (; k < noted.size(); ++k) {
            const std::size_t position = noted[k];
            if (position > plan.FirstFailure.load(std::memory_order_relaxed)) break;
            if (k + 3 < noted.size()) plan.Walk[noted[k + 3]].Object->Prefetch(3);
            if (k + 2 < noted.size()) plan.Walk[noted[k + 2]].Object->Prefetch(2);
            if (k + 1 < noted.size()) plan.Walk[noted[k + 1]].Object->Prefetch(1);
            own.Retaken.push_back(position);
            split_step_detail::Turn = position;
            if (plan.Walk[position].Split->RetakeAhead()) {
                NoteFailure(plan, position);
                ++k;
                break;
            }
        }
        own.Late.insert(own.Late.end(), noted.begin() + static_cast<std::ptrdiff_t>(k), noted.end());
        noted.clear();
    }
    plan.Barrier.Wait(plan.Threads);

    if (plan.FirstFailure.load(std::memory_order_relaxed) == kNoPosition) {
        split_step_detail::Turn = kNoPosition;
        for (std::size_t b = plan.NextOtherBlock.fetch_add(1, std::memory_order_relaxed); b < plan.TurnBlocks;
             b = plan.NextOtherBlock.fetch_add(1, std::memory_order_relaxed))
            Deliver(plan, own.Others[b]);
        if (worker == 0) Deliver(plan, own.Foreign);
    }
    own.Retakes = RetakesHere;
    own.Unforeseen = UnforeseenHere;
    RetakesHere = UnforeseenHere = 0;
    LateHere = nullptr;
}

// The turns of a walk stepped ahead, in the walk's order, from position `from` on: the objects with
// pulses to send, and those that received pulses before their turn (which the senders' turns add as
// they go).
void TakeTurns(NPlan& plan, std::size_t from) {
    std::vector<std::size_t>& late = plan.Late;
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
            if (position < from) continue;
            takeLateBefore(position);
            forget(position);
            take(position);
        }
    takeLateBefore(kNoPosition);
}

// The guess failed first at `first`: every object from there on goes back to what it stepped ahead,
// the pulses sent before `first` that the guess did not deliver are delivered, and the turns from
// `first` on are taken in order, as on one thread.
void TakeTurnsAfterFailure(NPlan& plan, std::size_t first) {
    for (NWorkerTurns& w : plan.Workers) {
        for (const std::size_t position : w.Retaken)
            if (position >= first) plan.Walk[position].Split->UndoAhead();
        // Noted and not yet taken: only past the failure.
        for (const std::size_t position : w.Late) plan.Walk[position].Split->UndoAhead();
        w.Late.clear();
    }
    plan.Late.clear();
    LateHere = &plan.Late;
    for (const std::vector<std::size_t>& sends : plan.Sends)
        for (const std::size_t i : sends) {
            if (i >= first) break;
            const NAbstractItem* item = plan.Items[i];
            const std::uint32_t* target = plan.Targets.data() + plan.TargetsAt[i];
            for (auto c = item->GetConnectorsBegin(); c != item->GetConnectorsEnd(); ++c, ++target) {
                const bool early = *target != kForeign && *target > i;
                if (early && *target < first) continue;  // the guess held there
                split_step_detail::Turn = early ? i : kNoPosition;
                (*c)->Transfer();
            }
        }
    TakeTurns(plan, first);
    LateHere = nullptr;
}

// The counts of the calling thread join the totals.
void FoldCounts() {
    split_step_detail::Retakes += RetakesHere;
    split_step_detail::UnforeseenArrivals += UnforeseenHere;
    RetakesHere = UnforeseenHere = 0;
}

} // namespace

void split_step_detail::ScheduleTurn(std::size_t position) {
    std::vector<std::size_t>& late = *LateHere;
    late.push_back(position);
    std::push_heap(late.begin(), late.end(), std::greater<>());
}

void split_step_detail::CountRetake() { ++RetakesHere; }
void split_step_detail::CountUnforeseenArrival() { ++UnforeseenHere; }

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

    if (plan.Ahead) {
        split_step_detail::OrderedPhase = true;
        split_step_detail::Ahead = true;
        split_step_detail::Guessing = true;
        plan.FirstFailure.store(kNoPosition, std::memory_order_relaxed);
    }
    plan.NextChunk.store(0, std::memory_order_relaxed);
    plan.NextEarlyBlock.store(0, std::memory_order_relaxed);
    plan.NextOtherBlock.store(0, std::memory_order_relaxed);
    NThreadPool::Instance().Run(plan.Threads, StepJob, &plan);
    ThreadsInUse = plan.Threads;

    split_step_detail::OrderedPhase = true;
    if (plan.Ahead) {
        split_step_detail::Guessing = false;
        for (NWorkerTurns& w : plan.Workers) {
            split_step_detail::Retakes += w.Retakes;
            split_step_detail::UnforeseenArrivals += w.Unforeseen;
        }
        const std::size_t first = plan.FirstFailure.load(std::memory_order_relaxed);
        if (first != kNoPosition) {
            ++split_step_detail::FailedGuesses;
            TakeTurnsAfterFailure(plan, first);
        }
        split_step_detail::Ahead = false;
        split_step_detail::OrderedPhase = false;
        FoldCounts();
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
    FoldCounts();
    return true;
}

} // namespace talvero
