#pragma once
// The step of a model on several threads, with the single-threaded result to the last bit.
//
// An object whose step splits does the part that reads nothing of other objects (for a neuron:
// its synapses and ion units, most of the work) on any thread, all such objects at once, before
// the net is walked; then, in the net's order, the part that depends on the order (the neuron's
// zone and the pulses it sends). A pulse that reaches such an object before its turn in the order,
// which the single-threaded step would have seen, makes it redo its own part from the values it
// kept before the step. A walk of such objects only steps each whole ahead and takes the turns on
// all threads as well, on a guess it mends where it fails; meanwhile one thread takes the walk from
// its start in order, where nothing is a guess, until it meets the others.

#include <cstddef>
#include <cstdint>

namespace talvero {

class NAbstractConnector;
class NAbstractItem;
class NModel;

// Where items compute in the ordered walk of a step.
class NItemOrder {
public:
    virtual ~NItemOrder() = default;
    // Whether a pulse `item` sends in a step can arrive before the position `position` of the
    // walk in that step: items met earlier in the walk, and items the walk does not know.
    virtual bool MaySendBefore(const NAbstractItem* item, std::size_t position) const = 0;
};

class NSplitStepObject {
public:
    virtual ~NSplitStepObject() = default;
    // Whether this object's step may be split now (a derived class may compute otherwise).
    virtual bool CanSplitStep() const = 0;
    // Prepares the split at `position` of the walk; returns the work of the independent part,
    // roughly in synapse steps.
    virtual std::size_t PlanSplitStep(const NItemOrder& order, std::size_t position) = 0;
    // The part that touches only this object's own state; any thread.
    virtual void StepIndependentPart() = 0;
    // The rest, at the object's turn in the walk, on the calling thread.
    virtual void StepOrderedPart() = 0;
    // When every object of the walk splits: the independent part and the rest as if nothing arrives
    // before the object's turn, on any thread; true when the object has pulses to send at its turn.
    // The turns are then taken on all threads too (the pulses are sent by the caller):
    virtual bool StepAhead() = 0;
    // Or the whole step in the walk's order, as one thread takes it, every pulse sent before the
    // object's turn already in (the thread that takes the walk from its start); true when it has
    // pulses to send, which the caller sends.
    virtual bool StepInTurn() = 0;
    // Whether a pulse through `connector` lands in this object's own state, so that the thread
    // stepping the object may deliver it.
    virtual bool ReceivesThrough(const NAbstractConnector& connector) const = 0;
    // A pulse through such a connector: what its Transfer does, without finding its receiver.
    virtual void ReceiveAhead(NAbstractConnector& connector) = 0;
    // The same into an object that steps whole in the walk taken in order: nothing to note.
    virtual void ReceiveInTurn(NAbstractConnector& connector) = 0;
    // Asks the memory for what noting an arrival reads.
    virtual void PrefetchArrival() const {}
    // The turn of an object that received pulses before it, on the guess that no such pulse changes
    // whether any object sends: takes back what the arrivals changed, and tells whether what it
    // sends now differs from what it sent ahead (the guess failed).
    virtual bool RetakeAhead() = 0;
    // After a failed guess: the turn again, with the pulses of `changes` (through connectors the
    // object receives through) sent or no longer sent; whether it now sends otherwise than ahead.
    struct NPulseChange {
        NAbstractConnector* Connector;
        bool Sent;
    };
    virtual bool RetakeAgain(const NPulseChange* changes, std::size_t count) = 0;
    // Whether it had pulses to send when it stepped ahead.
    virtual bool SentAhead() const = 0;
    // Frees what the split kept.
    virtual void DropSplitStep() = 0;
};

// Tells the split step that the structure of some model changed (objects, components or links made
// or removed): a plan made before is not to be used.
void NoteStructureChange();

namespace split_step_detail {
// Empties a list kept from step to step. A burst (all neurons firing at once, as at the start)
// leaves it far more room than a step needs; beyond `keep` entries the room goes back.
template <class List> void ClearKeeping(List& list, std::size_t keep) {
    if (list.capacity() > keep) List().swap(list);
    else list.clear();
}
// Whether the ordered part of a split step is under way: pulses then may have to be answered by a
// redo of their receiver's independent part.
extern bool OrderedPhase;
// Pulses that reached an object whose plan did not expect them: each one a wrong step. Tests read it.
extern unsigned long long UnforeseenArrivals;
// Objects that took their independent part again since the process started.
extern unsigned long long Retakes;
// Steps stepped ahead whose guess failed somewhere and was mended. Tests read it.
extern unsigned long long FailedGuesses;
// Steps so many of whose objects sent that their turns were taken in order, not on a guess. Tests
// read it.
extern unsigned long long BurstsInOrder;
// Whether the walk's objects stepped ahead (StepAhead): a pulse then counts only for an object
// whose turn is still to come, and that object takes its turn again.
extern bool Ahead;
// Whether those turns are taken on a guess that can be taken back: an arrival then keeps what it
// changes.
extern bool Guessing;
// The position of the sender whose pulses this thread delivers.
extern thread_local std::size_t Turn;
// An object stepped ahead at `position` received a pulse before its turn: it takes its turn.
void ScheduleTurn(std::size_t position);
// Counts a retake or an unforeseen arrival on the calling thread.
void CountRetake();
void CountUnforeseenArrival();
} // namespace split_step_detail
inline bool InOrderedPartOfSplitStep() { return split_step_detail::OrderedPhase; }

// Computes `model`'s net by the split step when the threads and the model's size call for it;
// false when the caller is to compute it as usual. `gatesComputed`: the model's out gates were
// computed too, on the same threads (a walk of neurons only).
bool CalculateNetSplit(NModel& model, bool& gatesComputed);

// The work (synapse steps per step) below which a model uses fewer threads: each thread is given
// at least this much. Benchmarks and tests change it; 0 restores the default.
void SetSplitStepWorkPerThread(std::size_t work);
std::size_t GetSplitStepWorkPerThread();
// Whether a step in which most objects send takes its turns in order (the default) or on a guess
// like any other; tests turn it off to reach the mending of failed guesses.
void SetSplitStepBurstsInOrder(bool inOrder);
// At most this many chunks of a walk stepped ahead are taken in order from its start; the rest on a
// guess. Tests vary it to move the border between the two; SIZE_MAX (the default) sets no limit.
void SetSplitStepInOrderChunks(std::size_t chunks);

// The threads the last step of the active model actually used.
int GetThreadsInUse();

} // namespace talvero
