#include "fast/NEngine.h"

#include "fast/NFastEngine.h"
#include "kernel/NClock.h"

namespace talvero {
namespace {

class NExactEngine final : public NEngine {
public:
    NEngineKind Kind() const override { return NEngineKind::Exact; }
    void Step() override { StepActiveModel(); }
};

} // namespace

bool ParseEngineKind(std::string_view text, NEngineKind& kind) {
    if (text == "exact") kind = NEngineKind::Exact;
    else if (text == "fast") kind = NEngineKind::Fast;
    else return false;
    return true;
}

const char* EngineKindName(NEngineKind kind) { return kind == NEngineKind::Fast ? "fast" : "exact"; }

std::unique_ptr<NEngine> MakeEngine(NModel& model, NEngineKind kind, std::string& notice) {
    notice.clear();
    if (kind == NEngineKind::Fast) {
        std::string why;
        if (auto fast = NFastEngine::Compile(model, why)) return fast;
        notice = "the fast engine cannot compute " + why + "; the exact engine computes this model";
    }
    return std::make_unique<NExactEngine>();
}

} // namespace talvero
