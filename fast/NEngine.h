#pragma once
// The ways to compute a model, behind the one interface the front ends step through: the exact
// engine (the objects' own Calculate, the reference) and the fast engine (fast/NFastEngine.h).

#include <memory>
#include <string>
#include <string_view>

namespace talvero {

class NModel;

enum class NEngineKind { Exact, Fast };

// "exact" or "fast"; false for anything else.
bool ParseEngineKind(std::string_view text, NEngineKind& kind);
const char* EngineKindName(NEngineKind kind);

class NEngine {
public:
    virtual ~NEngine() = default;
    virtual NEngineKind Kind() const = 0;
    // Takes the state and the parameters of the model's objects. Call it before stepping whenever
    // something outside the engine touched them: a reset, a parameter, the time step, a loaded state.
    virtual void Begin() {}
    // One step of the active model.
    virtual void Step() = 0;
    // Leaves the model's objects in the state the steps reached, for anything that reads or saves
    // them (parameters, checkpoints, the tree).
    virtual void End() {}
};

// The engine of that kind for the model, which must be the active one while it steps. A model
// the fast engine cannot compute faithfully gets the exact engine, and `notice` says why, naming
// the object; else `notice` is left empty.
std::unique_ptr<NEngine> MakeEngine(NModel& model, NEngineKind kind, std::string& notice);

} // namespace talvero
