#include "elements/NNerveFibre.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include "kernel/NClock.h"

#include "kernel/NStateStream.h"

namespace talvero {

NNerveFibre::NNerveFibre(NBasicDescription* owner, const char* name, double delay)
    : NAbstractItem(owner, name), NWithParameters(owner, name) {
    const std::int64_t cells = CellsFor(delay);
    if (cells >= 0) {
        Params.TimeDelay = delay;
        Resize(static_cast<std::int32_t>(cells), delay != 0);
    }
}

NNerveFibre::~NNerveFibre() = default;

const NParameterTable<NNerveFibreParameters>& NNerveFibre::ParameterTable() {
    using P = NNerveFibreParameters;
    static const NParameterTable<P> table{{"TimeDelay", &P::TimeDelay, NRange::NonNegative(), false, "s"}};
    return table;
}

bool NNerveFibre::CheckName(const char* name) { return name && std::strcmp(name, Input->GetName()) != 0; }

NBasicDescription* NNerveFibre::New(NBasicDescription* owner, const char* name) {
    if (!CheckNewOwner<NObject>(owner, name)) return nullptr;
    return new NNerveFibre(owner, name);
}

bool NNerveFibre::SetParameter(const char* name, double value) {
    if (!ParameterTable().Find(name)) return ReportError(20, name ? name : "");
    return CheckFiniteParameter(*this, value) && SetTimeDelay(value);
}

bool NNerveFibre::CopyParameters(NBasicDescription* target) {
    if (!target) return ReportError(4);
    auto* other = dynamic_cast<NNerveFibre*>(target);
    if (!other) return ReportError(5);
    return other->SetTimeDelay(Params.TimeDelay);
}

std::int64_t NNerveFibre::CellsFor(double delay) {
    if (!(delay >= 0)) return -1;
    const NTime cells = std::trunc(delay / GetTimeStep());
    return cells <= kMaxCells ? static_cast<std::int64_t>(cells) : -1;
}

bool NNerveFibre::SetTimeDelay(double value) {
    // Negative and NaN delays, and delays too long to record, are refused alike.
    const std::int64_t cells = CellsFor(value);
    if (cells < 0) return ReportError(21, "TimeDelay");
    if (!Resize(static_cast<std::int32_t>(cells), value != 0)) return ReportError(21, "TimeDelay");
    Params.TimeDelay = value;
    Position = -1;
    PulseCounter = 0;
    return true;
}

bool NNerveFibre::Resize(std::int32_t cells, bool withBuffer) {
    if (!withBuffer) {
        DelayBuffer.reset();
        CellsCount = cells;
        return true;
    }
    const std::int32_t kept = DelayBuffer ? std::min(cells, CellsCount) : 0;
    if (!DelayBuffer || cells != CellsCount) {
        std::unique_ptr<std::uint8_t[]> buffer(new (std::nothrow) std::uint8_t[static_cast<std::size_t>(cells)]);
        if (!buffer) return false;
        if (kept) std::memcpy(buffer.get(), DelayBuffer.get(), static_cast<std::size_t>(kept));
        DelayBuffer = std::move(buffer);
    }
    std::memset(DelayBuffer.get() + kept, 0, static_cast<std::size_t>(cells - kept));
    CellsCount = cells;
    return true;
}

char* NNerveFibre::SaveState(char* buffer) {
    const std::int32_t head[3] = {PulseCounter, Position, CellsCount};
    std::memcpy(buffer, head, sizeof(head));
    if (CellsCount) std::memcpy(buffer + sizeof(head), DelayBuffer.get(), static_cast<std::size_t>(CellsCount));
    return buffer;
}

bool NNerveFibre::CheckState(const char* buffer, int size) {
    std::int32_t cells = -1;
    if (size < 12) return false;
    std::memcpy(&cells, buffer + 8, sizeof(cells));
    return cells >= 0 && cells == size - 12;
}

bool NNerveFibre::LoadState(const char* buffer) {
    std::int32_t head[3];
    std::memcpy(head, buffer, sizeof(head));
    const std::int32_t counter = head[0], position = head[1], cells = head[2];
    // A state that would make the next step read outside the buffer is not taken.
    if (cells < 0 || cells > kMaxCells || position < -1 || (cells > 0 && position >= cells))
        return ReportError(21, "TimeDelay");
    std::unique_ptr<std::uint8_t[]> loaded;
    if (cells > 0) {
        loaded.reset(new (std::nothrow) std::uint8_t[static_cast<std::size_t>(cells)]);
        if (!loaded) return ReportError(21, "TimeDelay");
        std::memcpy(loaded.get(), buffer + sizeof(head), static_cast<std::size_t>(cells));
    }
    PulseCounter = counter;
    Position = position;
    CellsCount = cells;
    DelayBuffer = std::move(loaded);
    return true;
}

void NNerveFibre::Reset() {
    Input->Reset();
    // The delay in cells follows the time step now in force; the buffer is cleared.
    const std::int64_t cells = CellsFor(Params.TimeDelay);
    if (cells >= 0) Resize(static_cast<std::int32_t>(cells), Params.TimeDelay != 0);
    Position = -1;
    PulseCounter = 0;
    if (DelayBuffer) std::memset(DelayBuffer.get(), 0, static_cast<std::size_t>(CellsCount));
}

void NNerveFibre::Calculate() {
    Input->Calculate();
    const bool active = Input->IsActive();
    const std::int32_t n = CellsCount;
    if (n == 0) {
        if (active && PulseCounter == 0) {
            PulseCounter = PulseLengthInSteps();
            TransferToConnectors();
            --PulseCounter;
        } else if (PulseCounter != 0) {
            --PulseCounter;
        }
        return;
    }
    Position = Position == n - 1 ? 0 : Position + 1;
    if (PulseCounter != 0) --PulseCounter;
    std::uint8_t& cell = DelayBuffer[static_cast<std::size_t>(Position)];
    if (cell == 1 && PulseCounter == 0) {
        TransferToConnectors();
        PulseCounter = PulseLengthInSteps();
    }
    cell = active ? 1 : 0;
}

} // namespace talvero
