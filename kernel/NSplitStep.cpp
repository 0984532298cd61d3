#include "kernel/NSplitStep.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <map>
#include <thread>
#include <typeinfo>
#include <unordered_map>
#include <unordered_set>
#include <utility>
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
unsigned long long split_step_detail::BurstsInOrder = 0;
bool split_step_detail::Ahead = false;
bool split_step_detail::Guessing = false;
thread_local std::size_t split_step_detail::Turn = 0;

namespace {

// Below this many synapse steps per thread, handing work to another thread and waiting for it
// costs more than it saves. Measured with talvero-batch on two cores (whole runs of 2 s of model
// time, one thread against two): the 100-neuron net (2,200 synapse steps) took 0.22 s against
// 0.26, the 200-neuron net 0.86 against 0.80 (a few per cent for twice the CPU: it keeps one), the
// 300-neuron net 1.30 against 1.10, the 500-neuron net 2.2 against 1.7. Two threads from 8,192
// synapse steps, about 370 neurons of 20 synapses.
constexpr std::size_t kDefaultWorkPerThread = 4096;
// Chunks of the parallel part per thread, at most; a thread takes the next free one. A walk stepped
// ahead takes its turns by the same chunks.
constexpr std::size_t kChunksPerThread = 32;
// Each chunk costs its taking and its lists whatever its size: a chunk has at least this share of
// a thread's least work (1/4: 1,024 synapse steps by default). Against 32 chunks a thread, whole
// runs on two threads took 0.92 to 1.0 times the time for the 1,000- and 500-neuron nets and the
// same for 2,000 neurons; chunks of twice that were up to 15 % slower at 1,000.
constexpr std::size_t kChunkShareOfThreadWork = 4;
// Blocks per thread for the pulses that arrive after their receivers' turns. Fewer than chunks: in
// a quiet step of the 10,000-neuron net a list per chunk held three pulses, too few for the
// look-ahead of their delivery.
constexpr std::size_t kLateBlocksPerThread = 4;
// The out gates of a walk stepped ahead are computed by ranges of at least this many, at most four
// a thread.
constexpr std::size_t kMinGatesPerRange = 32;
constexpr std::size_t kGateRangesPerThread = 4;
// A step in which more than this share of the walk sends (1/8) takes its turns in order on one
// thread: on a guess, every early pulse would be noted twice, with what it changed, all at once.
// At the start of the 10,000-neuron net, 9,000 neurons send in one step; a quiet step, about 70.
constexpr std::size_t kBurstShare = 8;
constexpr std::size_t kMinBurstSenders = 64;

std::uint64_t StructureGeneration = 0;
int RequestedThreads = 0;
int ThreadsInUse = 1;
std::size_t WorkPerThread = kDefaultWorkPerThread;
bool BurstTurnsInOrder = true;
std::size_t InOrderChunks = SIZE_MAX;

struct NWalkEntry {
    NObject* Object;
    NSplitStepObject* Split;  // null: the object computes whole, in its turn
};

// Counted by each thread on its own and added up after the step.
thread_local unsigned long long RetakesHere = 0;
thread_local unsigned long long UnforeseenHere = 0;
// The turns the calling thread is to take.
thread_local std::vector<std::size_t>* TurnsHere = nullptr;

constexpr std::size_t kNoPosition = static_cast<std::size_t>(-1);
constexpr std::uint32_t kForeign = UINT32_MAX;  // a connector into no object of the walk

struct NDelivery {
    NAbstractConnector* Connector;
    std::uint32_t Target;  // the receiver's position in the walk
    std::uint32_t Sender;  // the sender's position for an early pulse, else kForeign
};

// What one thread keeps of the turns it takes on a guess.
struct alignas(64) NWorkerTurns {
    std::vector<std::size_t> Failed;  // objects whose turn on the guess sends otherwise than ahead
    // The step's pulses into objects of the walk, by the block they land in: early (after their
    // sender) and the others.
    std::vector<std::vector<NDelivery>> Early, Others;
    // Worker 0's: pulses sent in the walk taken in order into chunks it had not taken, by chunk.
    std::vector<std::vector<NDelivery>> InOrder;

    std::vector<std::size_t> Noted;  // its objects that received pulses before their turn
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

    void Build(NModel& model, NNet& net, int threads, bool automatic);
    void Forget() {
        Model = nullptr;
        Ahead = false;
        Items.clear();
        LateBlocks = 0;
        GateRanges = 0;
        SendsOut.clear();
        Reached.clear();
        TargetsAt.clear();
        Targets.clear();
        Workers.clear();
        Flips.clear();
        Sends.clear();
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
    bool Automatic = false;
    std::size_t PerThread = 0;
    unsigned long long Clock = 0;
    int Threads = 1;
    std::vector<NWalkEntry> Walk;
    std::vector<NWalkEntry> Parallel;    // the split entries, in walk order
    std::vector<std::size_t> ChunkEnds;  // ends of the chunks of Parallel
    // Every object of the walk splits: each steps ahead, and the turns are taken on all threads too.
    bool Ahead = false;
    std::vector<std::vector<std::size_t>> Sends;  // per chunk, the positions with pulses to send
    // For the turns, per walk position its item, and per connector of it (from TargetsAt[position])
    // the position of the object the connector belongs to, or kForeign.
    std::vector<NAbstractItem*> Items;
    std::vector<std::uint32_t> TargetsAt;
    std::vector<std::uint32_t> Targets;
    std::vector<bool> SendsOut;  // per position: some connector leads out of the walk
    // The chunk of the walk at `position`, by which the pulses of a walk stepped ahead are sorted.
    std::size_t BlockOf(std::size_t position) const {
        return static_cast<std::size_t>(std::upper_bound(ChunkEnds.begin(), ChunkEnds.end(), position) - ChunkEnds.begin());
    }
    // The block of consecutive chunks by which pulses after their receivers' turns are sorted.
    std::size_t LateBlockOf(std::size_t position) const { return BlockOf(position) * LateBlocks / ChunkEnds.size(); }
    std::size_t LateBlocks = 0;
    std::vector<NWorkerTurns> Workers;
    NThreadBarrier Barrier;
    // Objects whose turn sends otherwise than stepped ahead, once the failed guesses are mended:
    // position and whether it sends. In the walk's order.
    std::vector<std::pair<std::size_t, bool>> Flips;
    std::atomic<bool> GuessFailed{false};
    // A burst: so many send that the turns are taken in order (BurstSenders is its threshold).
    std::size_t BurstSenders = 0;
    std::atomic<bool> Burst{false};
    std::vector<char> Reached;  // in a burst, per position: a pulse arrived before its turn
    alignas(64) std::atomic<std::size_t> SendersSorted{0};
    alignas(64) std::atomic<std::size_t> NextChunk{0};
    // A walk stepped ahead: the chunks not yet taken, [low 32 bits, high 32 bits). Worker 0 takes
    // them in order from the start, the others from the end.
    alignas(64) std::atomic<std::uint64_t> Untaken{0};
    // Where the chunks taken in order end, once all are taken.
    std::size_t InOrderEnd() const { return static_cast<std::size_t>(Untaken.load(std::memory_order_relaxed) & 0xffffffffu); }
    // The model's out gates, computed in the same job once the pulses out of the walk are in
    // (ForeignDone), by ranges taken in turn: a gate reads only its own connectors and the outputs
    // of items, which no pulse after its receiver's turn changes, so they run beside those.
    std::size_t GateRanges = 0;
    alignas(64) std::atomic<bool> ForeignDone{false};
    alignas(64) std::atomic<std::size_t> NextGateRange{0};
    // What a thread of the step threw (a full memory, mostly), for the caller's thread: thrown out
    // of a worker it would end the process. The thread breaks the barrier and the others stop at
    // it, so that none waits for one that is gone.
    std::exception_ptr Failure;
    std::atomic_flag Failed;
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
        if (NAbstractItem* item = object->AsItem()) Positions.emplace(item, Walk.size());
        Walk.push_back({object, split});
    }
}

void NPlan::Build(NModel& model, NNet& net, int threads, bool automatic) {
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
    if (automatic && Parallel.size() != Walk.size()) threads = 1;
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
    const std::size_t byChunkWork = total / std::max<std::size_t>(PerThread / kChunkShareOfThreadWork, 1);
    const std::size_t chunks = std::min({Parallel.size(), static_cast<std::size_t>(Threads) * kChunksPerThread,
                                         std::max(byChunkWork, static_cast<std::size_t>(Threads))});
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
        LateBlocks = std::min(ChunkEnds.size(), static_cast<std::size_t>(Threads) * kLateBlocksPerThread);
        Workers = std::vector<NWorkerTurns>(static_cast<std::size_t>(Threads));
        Reached.assign(Walk.size(), 0);
        for (NWorkerTurns& w : Workers) {
            w.Early.resize(ChunkEnds.size());
            w.Others.resize(LateBlocks);
        }
        Workers[0].InOrder.resize(ChunkEnds.size());
        FindTargets();
        const std::size_t gates = static_cast<std::size_t>(model.GetOutGatesCount());
        GateRanges = std::min(gates / kMinGatesPerRange, static_cast<std::size_t>(Threads) * kGateRangesPerThread);
        if (gates != 0 && GateRanges == 0) GateRanges = 1;
    }
    // Kept for the whole run beside a large model: no room left from growing them, no lookup
    // tables once the plan is made.
    Walk.shrink_to_fit();
    Parallel.shrink_to_fit();
    Items.shrink_to_fit();
    TargetsAt.shrink_to_fit();
    Targets.shrink_to_fit();
    Positions = {};
    Sources = {};
}

void NPlan::FindTargets() {
    // Which class an object is, by a virtual call: a search of the class tree for each of the
    // hundreds of thousands of connectors of a large net took most of the plan's time.
    for (const NWalkEntry& e : Walk) Items.push_back(e.Object->AsItem());
    SendsOut.assign(Walk.size(), false);
    for (std::size_t i = 0; i < Walk.size(); ++i) {
        TargetsAt.push_back(static_cast<std::uint32_t>(Targets.size()));
        if (!Items[i]) continue;
        for (auto c = Items[i]->GetConnectorsBegin(); c != Items[i]->GetConnectorsEnd(); ++c) {
            std::uint32_t target = kForeign;
            NBasicDescription* unit = (*c)->GetOwner();
            NBasicDescription* receiver = unit ? unit->GetOwner() : nullptr;
            const NAbstractItem* owner = receiver ? receiver->AsItem() : nullptr;
            const auto at = owner ? Positions.find(owner) : Positions.end();
            if (at != Positions.end() && Walk[at->second].Split->ReceivesThrough(**c))
                target = static_cast<std::uint32_t>(at->second);
            Targets.push_back(target);
            if (target == kForeign) SendsOut[i] = true;
        }
    }
    TargetsAt.push_back(static_cast<std::uint32_t>(Targets.size()));
}

// Calls f(connector, position of its receiver or kForeign) for each connector of the sender at `i`.
template <class F>
void ForEachTarget(const NPlan& plan, std::size_t i, F f) {
    const NAbstractItem* item = plan.Items[i];
    const std::uint32_t* target = plan.Targets.data() + plan.TargetsAt[i];
    for (auto c = item->GetConnectorsBegin(); c != item->GetConnectorsEnd(); ++c, ++target) f(*c, *target);
}

void SortSender(const NPlan& plan, NWorkerTurns& own, std::size_t i, bool othersOnly);

void Deliver(const NPlan& plan, const std::vector<NDelivery>& deliveries, bool early);

// The same staggered look-ahead as the net's own loop, for the object at `i` of a chunk ending at `end`:
// without the object's own lines four ahead, the step waited for each one here.
void PrefetchAhead(const NPlan& plan, std::size_t i, std::size_t end) {
    if (i + 4 < end) {
        const char* ahead = reinterpret_cast<const char*>(plan.Parallel[i + 4].Object);
        __builtin_prefetch(ahead);
        __builtin_prefetch(ahead + 64);
    }
    if (i + 3 < end) plan.Parallel[i + 3].Object->Prefetch(3);
    if (i + 2 < end) plan.Parallel[i + 2].Object->Prefetch(2);
    if (i + 1 < end) plan.Parallel[i + 1].Object->Prefetch(1);
}

// Counts a chunk's senders towards the step's; true once they make the step a burst.
bool CountSenders(NPlan& plan, std::size_t senders) {
    if (plan.SendersSorted.fetch_add(senders, std::memory_order_relaxed) + senders > plan.BurstSenders)
        plan.Burst.store(true, std::memory_order_relaxed);
    return plan.Burst.load(std::memory_order_relaxed);
}

// The objects of the chunk `c`: the independent part, or stepped ahead on the guess.
void StepChunk(NPlan& plan, int worker, std::size_t c) {
    const std::size_t begin = c == 0 ? 0 : plan.ChunkEnds[c - 1];
    const std::size_t end = plan.ChunkEnds[c];
    std::vector<std::size_t>* sends = plan.Ahead ? &plan.Sends[c] : nullptr;
    if (sends) sends->clear();
    for (std::size_t i = begin; i < end; ++i) {
        PrefetchAhead(plan, i, end);
        if (!sends) plan.Parallel[i].Split->StepIndependentPart();
        else if (plan.Parallel[i].Split->StepAhead()) sends->push_back(i);
    }
    // The senders' lists are in this core's cache now. In a burst the turns are taken in order,
    // without the sorted pulses: sorting stops once the step turns out to be one.
    if (sends && !sends->empty() && !CountSenders(plan, sends->size()))
        for (const std::size_t i : *sends) SortSender(plan, plan.Workers[static_cast<std::size_t>(worker)], i, false);
}

void StepChunks(NPlan& plan, int worker) {
    // Chunks go to whichever thread is free: the two cores of a shared machine seldom run at one speed.
    const std::size_t chunks = plan.ChunkEnds.size();
    for (std::size_t c = plan.NextChunk.fetch_add(1, std::memory_order_relaxed); c < chunks;
         c = plan.NextChunk.fetch_add(1, std::memory_order_relaxed))
        StepChunk(plan, worker, c);
}

constexpr std::size_t kNoChunk = static_cast<std::size_t>(-1);

// The first chunk not yet taken (worker 0, in order) or the last, or kNoChunk.
std::size_t TakeChunk(NPlan& plan, bool inOrder) {
    std::uint64_t untaken = plan.Untaken.load(std::memory_order_relaxed);
    for (;;) {
        const std::uint64_t first = untaken & 0xffffffffu, end = untaken >> 32;
        if (first >= end || (inOrder && first >= InOrderChunks)) return kNoChunk;
        const std::uint64_t rest = inOrder ? untaken + 1 : untaken - (std::uint64_t(1) << 32);
        if (plan.Untaken.compare_exchange_weak(untaken, rest, std::memory_order_relaxed))
            return static_cast<std::size_t>(inOrder ? first : end - 1);
    }
}

// The chunk `c` in the walk's order, the chunks before it taken so by the same thread: each object
// steps whole as on one thread, and its pulses arrive at once in the chunks taken so, the others
// when their chunk is taken. Those into chunks stepped ahead meanwhile are early pulses there.
// Nothing here is a guess: these objects need no turn, and no level is kept for one.
void StepChunkInOrder(NPlan& plan, NWorkerTurns& own, std::size_t c) {
    const std::size_t begin = c == 0 ? 0 : plan.ChunkEnds[c - 1];
    const std::size_t end = plan.ChunkEnds[c];
    Deliver(plan, own.InOrder[c], false);
    own.InOrder[c].clear();
    std::vector<std::size_t>& sends = plan.Sends[c];
    sends.clear();
    for (std::size_t i = begin; i < end; ++i) {
        PrefetchAhead(plan, i, end);
        if (!plan.Parallel[i].Split->StepInTurn()) continue;
        sends.push_back(i);
        ForEachTarget(plan, i, [&](NAbstractConnector* connector, std::uint32_t target) {
            if (target == kForeign) return;
            if (target < end) plan.Walk[target].Split->ReceiveInTurn(*connector);
            else own.InOrder[plan.BlockOf(target)].push_back({connector, target, static_cast<std::uint32_t>(i)});
        });
    }
    if (!sends.empty()) CountSenders(plan, sends.size());
}

// Sorts the pulses of the sender at `i` that land in objects of the walk by the block they land in:
// early ones (after the sender) unless `othersOnly`, and the others. The thread that takes a block
// delivers the pulses every thread sorted into it.
void SortSender(const NPlan& plan, NWorkerTurns& own, std::size_t i, bool othersOnly) {
    ForEachTarget(plan, i, [&](NAbstractConnector* c, std::uint32_t target) {
        if (target == kForeign) return;
        if (target <= i) own.Others[plan.LateBlockOf(target)].push_back({c, target, kForeign});
        else if (!othersOnly) own.Early[plan.BlockOf(target)].push_back({c, target, static_cast<std::uint32_t>(i)});
    });
}

// Calls `f` for each sender of the step in the chunks [first, last), in the walk's order: those that
// stepped ahead with pulses to send, as the mended turns have it.
template <class F>
void ForEachSender(const NPlan& plan, std::size_t first, std::size_t last, F f) {
    if (first >= last) return;
    const std::size_t from = first == 0 ? 0 : plan.ChunkEnds[first - 1];
    const std::size_t to = plan.ChunkEnds[last - 1];
    auto flip = std::lower_bound(plan.Flips.begin(), plan.Flips.end(), std::pair<std::size_t, bool>(from, false));
    for (std::size_t c = first; c < last; ++c)
        for (const std::size_t i : plan.Sends[c]) {
            for (; flip != plan.Flips.end() && flip->first < i; ++flip)
                if (flip->second) f(flip->first);
            if (flip != plan.Flips.end() && flip->first == i) {
                if (flip->second) f(i);
                ++flip;
                continue;
            }
            f(i);
        }
    for (; flip != plan.Flips.end() && flip->first < to; ++flip)
        if (flip->second) f(flip->first);
}

// The pulses into no object of the walk, in the senders' order; then the out gates may compute.
void DeliverForeign(NPlan& plan) {
    split_step_detail::Turn = kNoPosition;
    ForEachSender(plan, 0, plan.Sends.size(), [&](std::size_t i) {
        // Mostly a few watched objects: the connectors of the others are not read again.
        if (!plan.SendsOut[i]) return;
        ForEachTarget(plan, i, [](NAbstractConnector* c, std::uint32_t target) {
            if (target == kForeign) c->Transfer();
        });
    });
    plan.ForeignDone.store(true, std::memory_order_release);
}

// The model's out gates, a range at a time, once the pulses into them are in.
void ComputeGates(NPlan& plan) {
    if (plan.GateRanges == 0) return;
    for (int polls = 0; !plan.ForeignDone.load(std::memory_order_acquire); ++polls) {
        if (plan.Barrier.IsBroken()) return;
        if (polls < 4096) __builtin_ia32_pause();
        else std::this_thread::yield();  // more threads than cores: let worker 0 run
    }
    const auto gates = plan.Model->GetOutGatesBegin();
    const std::size_t count = static_cast<std::size_t>(plan.Model->GetOutGatesCount()), ranges = plan.GateRanges;
    for (std::size_t r = plan.NextGateRange.fetch_add(1, std::memory_order_relaxed); r < ranges;
         r = plan.NextGateRange.fetch_add(1, std::memory_order_relaxed))
        NAbstractOutGate::CalculateAll(gates + static_cast<std::ptrdiff_t>(count * r / ranges),
                                       gates + static_cast<std::ptrdiff_t>(count * (r + 1) / ranges));
}

// `early`: pulses that arrive before their receivers' turns, as the walk is taken now, and are
// noted there; the others only take the pulse.
void Deliver(const NPlan& plan, const std::vector<NDelivery>& deliveries, bool early) {
    // Each arrival follows a chain of pointers through memory the other thread may have written
    // last: the chains of the next arrivals are walked ahead, one level each, so that their misses
    // overlap.
    const std::size_t count = deliveries.size();
    for (std::size_t k = 0; k < count; ++k) {
        if (k + 12 < count) {
            __builtin_prefetch(deliveries[k + 12].Connector);
            __builtin_prefetch(reinterpret_cast<const char*>(deliveries[k + 12].Connector) + 64);
        }
        if (early && k + 8 < count) deliveries[k + 8].Connector->Prefetch(2);
        if (k + 4 < count) {
            deliveries[k + 4].Connector->Prefetch(1);
            __builtin_prefetch(plan.Walk[deliveries[k + 4].Target].Object);
        }
        if (early && k + 2 < count) plan.Walk[deliveries[k + 2].Target].Split->PrefetchArrival();
        const NDelivery& d = deliveries[k];
        if (!early) {
            plan.Walk[d.Target].Split->ReceiveInTurn(*d.Connector);
            continue;
        }
        split_step_detail::Turn = d.Sender;
        plan.Walk[d.Target].Split->ReceiveAhead(*d.Connector);
    }
}

// The guess failed for some objects: their turns send otherwise than they did ahead. In the walk's
// order, each such object's early pulses are sent or taken back, and every object they reach takes
// its turn again, which may make it one more such object. Objects no changed pulse reaches keep the
// turn they took on the guess: it had the pulses the step on one thread would have given them.
void MendGuess(NPlan& plan) {
    std::map<std::size_t, std::vector<NSplitStepObject::NPulseChange>> turns;
    for (const NWorkerTurns& w : plan.Workers)
        for (const std::size_t position : w.Failed) turns[position];
    plan.Flips.clear();
    for (auto it = turns.begin(); it != turns.end(); it = turns.erase(it)) {
        const std::size_t j = it->first;
        NSplitStepObject& object = *plan.Walk[j].Split;
        // Without changed pulses, it is one whose turn on the guess failed.
        if (!it->second.empty() && !object.RetakeAgain(it->second.data(), it->second.size())) continue;
        const bool sends = !object.SentAhead();
        plan.Flips.emplace_back(j, sends);
        ForEachTarget(plan, j, [&](NAbstractConnector* c, std::uint32_t target) {
            if (target != kForeign && target > j) turns[target].push_back({c, sends});
        });
    }
}

// A burst's turns, in the walk's order on worker 0: each neuron a pulse reached before its turn
// takes its turn again, then each sender sends into the walk at once. No turn is a guess.
void TakeTurnsInOrder(NPlan& plan, NWorkerTurns& own) {
    split_step_detail::Guessing = false;
    plan.Flips.clear();
    // The walk up to here was taken in order; its pulses into the rest all come before any turn there.
    const std::size_t first = plan.InOrderEnd();
    for (std::size_t b = first; b < plan.ChunkEnds.size(); ++b) Deliver(plan, own.InOrder[b], true);
    for (const std::size_t reached : own.Noted) plan.Reached[reached] = 1;
    own.Noted.clear();
    std::size_t chunk = first, next = 0;  // the next sender stepped ahead: plan.Sends[chunk][next]
    for (std::size_t j = first == 0 ? 0 : plan.ChunkEnds[first - 1]; j < plan.Walk.size(); ++j) {
        while (chunk < plan.Sends.size() && next == plan.Sends[chunk].size()) ++chunk, next = 0;
        bool sends = chunk < plan.Sends.size() && plan.Sends[chunk][next] == j;
        if (sends) ++next;
        if (plan.Reached[j]) {
            plan.Reached[j] = 0;
            if (plan.Walk[j].Split->RetakeAhead()) {
                sends = !sends;
                plan.Flips.emplace_back(j, sends);
            }
        }
        if (!sends) continue;
        split_step_detail::Turn = j;
        ForEachTarget(plan, j, [&](NAbstractConnector* c, std::uint32_t target) {
            if (target != kForeign) plan.Walk[target].Split->ReceiveAhead(*c);
        });
        for (const std::size_t reached : own.Noted) plan.Reached[reached] = 1;
        own.Noted.clear();
    }
}

// The step of a walk stepped ahead takes its turns on the same threads too, on the guess that a
// pulse arriving before an object's turn does not change whether that object sends (on the bench net
// of 10,000 neurons, about 300 objects a step receive such pulses and one step in eighty has one that
// sends otherwise). Each thread takes a chunk of the walk stepped ahead at a time, delivers the early
// pulses into it and takes the turns there; then the failed guesses are mended on one thread, and
// the other pulses delivered, again by chunks.
void TakeTurnsOnGuess(NPlan& plan, NWorkerTurns& own, int worker) {
    const std::size_t first = plan.InOrderEnd(), chunks = plan.ChunkEnds.size();
    // A chunk at a time: its early pulses, then its turns (no pulse is sent now, so all of a chunk's
    // arrivals are in).
    for (std::size_t b = first + plan.NextEarlyBlock.fetch_add(1, std::memory_order_relaxed); b < chunks;
         b = first + plan.NextEarlyBlock.fetch_add(1, std::memory_order_relaxed)) {
        Deliver(plan, plan.Workers[0].InOrder[b], true);
        for (const NWorkerTurns& w : plan.Workers) Deliver(plan, w.Early[b], true);
        std::vector<std::size_t>& noted = own.Noted;
        for (std::size_t k = 0; k < noted.size(); ++k) {
            if (k + 3 < noted.size()) plan.Walk[noted[k + 3]].Object->Prefetch(3);
            if (k + 2 < noted.size()) plan.Walk[noted[k + 2]].Object->Prefetch(2);
            if (k + 1 < noted.size()) plan.Walk[noted[k + 1]].Object->Prefetch(1);
            if (plan.Walk[noted[k]].Split->RetakeAhead()) own.Failed.push_back(noted[k]);
        }
        noted.clear();
    }
    if (!own.Failed.empty()) plan.GuessFailed.store(true, std::memory_order_relaxed);
    if (!plan.Barrier.Wait(plan.Threads)) return;

    if (plan.GuessFailed.load(std::memory_order_relaxed)) {
        if (worker == 0) MendGuess(plan);
        if (!plan.Barrier.Wait(plan.Threads)) return;
        if (!plan.Flips.empty()) {
            // Those taken in order delivered theirs as they sent them.
            for (auto& block : own.Others) block.clear();
            const std::size_t threads = static_cast<std::size_t>(plan.Threads), w = static_cast<std::size_t>(worker);
            ForEachSender(plan, first + (chunks - first) * w / threads, first + (chunks - first) * (w + 1) / threads,
                          [&](std::size_t i) { SortSender(plan, own, i, true); });
            if (!plan.Barrier.Wait(plan.Threads)) return;
        }
    }
    if (worker == 0) DeliverForeign(plan);
    // These arrive after their receivers' turns: nothing to note.
    for (std::size_t b = plan.NextOtherBlock.fetch_add(1, std::memory_order_relaxed); b < plan.LateBlocks;
         b = plan.NextOtherBlock.fetch_add(1, std::memory_order_relaxed))
        for (const NWorkerTurns& w : plan.Workers) Deliver(plan, w.Others[b], false);
}

// Each thread's part of a step: the independent part, or for a walk stepped ahead its chunks, in
// order from the start on worker 0 and ahead from the end on the others, then the turns of those
// stepped ahead, on a guess or, in a burst, in order on worker 0.
void StepJobParts(NPlan& plan, int worker) {
    if (!plan.Ahead) return StepChunks(plan, worker);
    NWorkerTurns& own = plan.Workers[static_cast<std::size_t>(worker)];
    // A quiet step of the 10,000-neuron net sends some 1,200 pulses, a few per list.
    for (auto& block : own.Early) split_step_detail::ClearKeeping(block, 128);
    for (auto& block : own.Others) split_step_detail::ClearKeeping(block, 128);
    for (auto& block : own.InOrder) split_step_detail::ClearKeeping(block, 128);
    own.Failed.clear();
    if (worker == 0)
        for (std::size_t c = TakeChunk(plan, true); c != kNoChunk; c = TakeChunk(plan, true)) StepChunkInOrder(plan, own, c);
    for (std::size_t c = TakeChunk(plan, false); c != kNoChunk; c = TakeChunk(plan, false)) StepChunk(plan, worker, c);
    TurnsHere = &own.Noted;
    if (!plan.Barrier.Wait(plan.Threads)) return;
    if (!plan.Burst.load(std::memory_order_relaxed)) {
        TakeTurnsOnGuess(plan, own, worker);
    } else if (worker == 0) {
        TakeTurnsInOrder(plan, own);
        DeliverForeign(plan);
    }
    ComputeGates(plan);
    own.Retakes = RetakesHere;
    own.Unforeseen = UnforeseenHere;
    RetakesHere = UnforeseenHere = 0;
}

void StepJob(void* context, int worker) {
    NPlan& plan = *static_cast<NPlan*>(context);
    try {
        StepJobParts(plan, worker);
    } catch (...) {
        if (!plan.Failed.test_and_set(std::memory_order_acq_rel)) plan.Failure = std::current_exception();
        plan.Barrier.Break();
    }
    TurnsHere = nullptr;
}

// The counts of the calling thread join the totals.
void FoldCounts() {
    split_step_detail::Retakes += RetakesHere;
    split_step_detail::UnforeseenArrivals += UnforeseenHere;
    RetakesHere = UnforeseenHere = 0;
}

} // namespace

void split_step_detail::ScheduleTurn(std::size_t position) { TurnsHere->push_back(position); }

void split_step_detail::CountRetake() { ++RetakesHere; }
void split_step_detail::CountUnforeseenArrival() { ++UnforeseenHere; }

void NoteStructureChange() { ++StructureGeneration; }

void SetComputeThreads(int n) { RequestedThreads = n < 0 ? 0 : (n > NThreadPool::kMaxThreads ? NThreadPool::kMaxThreads : n); }
int GetComputeThreads() { return RequestedThreads; }
int GetThreadsInUse() { return ThreadsInUse; }

void SetSplitStepWorkPerThread(std::size_t work) { WorkPerThread = work ? work : kDefaultWorkPerThread; }
std::size_t GetSplitStepWorkPerThread() { return WorkPerThread; }
void SetSplitStepBurstsInOrder(bool inOrder) { BurstTurnsInOrder = inOrder; }
void SetSplitStepInOrderChunks(std::size_t chunks) { InOrderChunks = chunks; }

bool CalculateNetSplit(NModel& model, bool& gatesComputed) {
    gatesComputed = false;
    NPlan& plan = Plan();
    // Automatic: the machine's cores for a walk of neurons only, whose turns are taken on all
    // threads too; one thread for any other walk, whose ordered part on one thread made two threads
    // slower than one on two cores.
    const bool automatic = RequestedThreads == 0;
    const int requested = automatic ? NThreadPool::MachineCores() : RequestedThreads;
    ThreadsInUse = 1;
    if (requested <= 1) return false;
    auto* net = dynamic_cast<NNet*>(model.GetNet());
    // One active model per process: the clock the elements read is that model's.
    if (GetActiveModel() != &model || !net || typeid(*net) != typeid(NNet)) return false;
    if (plan.Model != &model || plan.Net != net || plan.Structure != StructureGeneration || plan.Requested != requested ||
        plan.Automatic != automatic || plan.PerThread != WorkPerThread) {
        plan.Structure = StructureGeneration;
        plan.Requested = requested;
        plan.Automatic = automatic;
        plan.PerThread = WorkPerThread;
        plan.Clock = GetClockGeneration() - 1;
        plan.Build(model, *net, requested, automatic);
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
        plan.GuessFailed.store(false, std::memory_order_relaxed);
        plan.Burst.store(false, std::memory_order_relaxed);
        plan.SendersSorted.store(0, std::memory_order_relaxed);
        plan.BurstSenders = BurstTurnsInOrder ? std::max(plan.Walk.size() / kBurstShare, kMinBurstSenders) : SIZE_MAX;
        plan.Flips.clear();
        plan.NextEarlyBlock.store(0, std::memory_order_relaxed);
        plan.ForeignDone.store(false, std::memory_order_relaxed);
        plan.NextGateRange.store(0, std::memory_order_relaxed);
        plan.NextOtherBlock.store(0, std::memory_order_relaxed);
    }
    plan.NextChunk.store(0, std::memory_order_relaxed);
    plan.Untaken.store(static_cast<std::uint64_t>(plan.ChunkEnds.size()) << 32, std::memory_order_relaxed);
    NThreadPool::Instance().Run(plan.Threads, StepJob, &plan);
    ThreadsInUse = plan.Threads;
    if (plan.Barrier.IsBroken()) {
        // The step stopped part of the way: the objects' split records are made anew for the next.
        split_step_detail::Ahead = split_step_detail::Guessing = split_step_detail::OrderedPhase = false;
        plan.Barrier.Repair();
        plan.Failed.clear(std::memory_order_relaxed);
        NoteStructureChange();
        std::rethrow_exception(std::exchange(plan.Failure, nullptr));
    }

    if (plan.Ahead) {
        split_step_detail::Ahead = false;
        split_step_detail::Guessing = false;
        split_step_detail::OrderedPhase = false;
        if (plan.Burst.load(std::memory_order_relaxed)) ++split_step_detail::BurstsInOrder;
        for (NWorkerTurns& w : plan.Workers) {
            split_step_detail::Retakes += w.Retakes;
            split_step_detail::UnforeseenArrivals += w.Unforeseen;
        }
        if (plan.GuessFailed.load(std::memory_order_relaxed)) ++split_step_detail::FailedGuesses;
        FoldCounts();
        gatesComputed = plan.GateRanges != 0;
        return true;
    }
    split_step_detail::OrderedPhase = true;
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
