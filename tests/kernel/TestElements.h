#pragma once
// Small concrete elements that exercise the kernel's contracts from the outside.

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "kernel/NAItem.h"
#include "kernel/NAbstractOutGate.h"
#include "kernel/NAbstractSource.h"
#include "kernel/NClock.h"
#include "kernel/NElementSupport.h"
#include "kernel/NModel.h"
#include "kernel/NNet.h"
#include "kernel/NUnitDescription.h"

namespace talvero::test {

// When set, elements append "<full name>@<current time>" on every Calculate (order checks).
inline std::vector<std::string>* CallLog = nullptr;

inline void Record(const NBasicDescription* object) {
    if (!CallLog) return;
    CallLog->push_back(object->FullName() + "@" + std::to_string(static_cast<double>(GetCurrentTime())));
}

struct NoParams {};

// An element without components, parameters or saved state.
template <class Derived, class Base>
class Plain : public NWithParameters<Derived, NWithoutComponents<Derived, Base>, NoParams> {
public:
    using NWithParameters<Derived, NWithoutComponents<Derived, Base>, NoParams>::NWithParameters;

    static const NParameterTable<NoParams>& ParameterTable() {
        static const NParameterTable<NoParams> table(std::initializer_list<typename NParameterTable<NoParams>::Entry>{});
        return table;
    }
    int GetStateSize() override { return 0; }
    char* SaveState(char* buffer) override { return buffer; }
    bool LoadState(const char*) override { return true; }
};

// Pulse connector: output 0 is 1 in each of the steps the current pulse acts.
class TestConnector : public Plain<TestConnector, NConnector> {
public:
    TestConnector(NBasicDescription* owner, const char* name) : Plain(owner, name, 1) {}

    NBasicDescription* New(NBasicDescription* owner, const char* name) override {
        if (!CheckNewOwner<NBasicDescription>(owner, name)) return nullptr;
        return new TestConnector(owner, name);
    }
    void Reset() override {
        NConnector::Reset();
        Outputs()[0] = 0;
    }
    void Calculate() override {
        Outputs()[0] = PulseCounter > 0 ? 1 : 0;
        if (PulseCounter > 0) --PulseCounter;
    }
};

// Analog connector with equally many inputs and outputs; Calculate copies them across.
class TestAConnector : public Plain<TestAConnector, NAConnector> {
public:
    TestAConnector(NBasicDescription* owner, const char* name, std::uint32_t count = 2)
        : Plain(owner, name, count, count) {}

    NBasicDescription* New(NBasicDescription* owner, const char* name) override {
        if (!CheckNewOwner<NBasicDescription>(owner, name)) return nullptr;
        return new TestAConnector(owner, name, InputsCount);
    }
    void Reset() override { std::fill_n(Outputs(), OutputsCount, 0.0); }
    void Calculate() override { std::copy_n(Inputs(), InputsCount, Outputs()); }
};

struct PeriodParams {
    double Period = 0;  // fires in step 1 and every Period steps after; 0 never
    double Weight = 1;
};

inline const NParameterTable<PeriodParams>& PeriodTable() {
    static const NParameterTable<PeriodParams> table{
        {"Period", &PeriodParams::Period, NRange::NonNegative(), true},
        {"Weight", &PeriodParams::Weight, NRange::Any(), false},
    };
    return table;
}

struct FiringState {
    int Steps = 0;
    int InputSteps = 0;       // steps in which some synapse carried a pulse
    int FirstInputStep = 0;   // 0: none yet
    bool Pulse = false;
    int Resets = 0;           // not part of the state proper: counts Reset calls
};

// Pulse item ("cell") owning pulse connectors ("synapses") as named components.
class TestCell : public NWithParameters<TestCell, NItem, PeriodParams> {
public:
    TestCell(NBasicDescription* owner, const char* name) : NAbstractItem(owner, name), NWithParameters(owner, name) {}

    static const NParameterTable<PeriodParams>& ParameterTable() { return PeriodTable(); }

    // Makes and inserts a synapse; returns it.
    TestConnector* AddSynapse(const char* name) {
        auto* synapse = new TestConnector(this, name);
        return AddComponent(synapse) ? synapse : nullptr;
    }

    bool CheckName(const char* name) override { return name && *name && !Find(name); }
    NBasicDescription* New(NBasicDescription* owner, const char* name) override {
        if (!CheckNewOwner<NObject>(owner, name)) return nullptr;
        return new TestCell(owner, name);
    }
    NBasicDescription* GetComponent(const char* name) override {
        if (!name || !*name) {
            ReportError(1);
            return nullptr;
        }
        const char* dot = std::strchr(name, '.');
        const std::string head = dot ? std::string(name, dot) : std::string(name);
        if (TestConnector* found = Find(head)) return dot ? found->GetComponent(dot + 1) : found;
        ReportError(3, name);
        return nullptr;
    }
    bool AddComponent(NBasicDescription* component) override {
        if (!component) return ReportError(4);
        auto* synapse = dynamic_cast<TestConnector*>(component);
        if (!synapse || synapse->GetOwner() != this) {
            const std::string name = component->FullName();
            delete component;
            return ReportError(synapse ? 14 : 10, name);
        }
        for (const auto& s : Synapses)
            if (s.get() == synapse) return ReportError(11, synapse->FullName());
        Synapses.emplace_back(synapse);
        return true;
    }
    bool DelComponent(const char* name) override {
        if (!name || !*name) return ReportError(1);
        for (auto it = Synapses.begin(); it != Synapses.end(); ++it)
            if (std::strcmp((*it)->GetName(), name) == 0) {
                Synapses.erase(it);
                return true;
            }
        return ReportError(3, name);
    }
    void GetComponentsList(NStringList& names) override {
        for (const auto& s : Synapses) names.emplace_back(s->GetName());
    }
    bool CopyComponents(NBasicDescription* target) override {
        if (!target) return ReportError(4);
        auto* cell = dynamic_cast<TestCell*>(target);
        if (!cell) return ReportError(5);
        for (const auto& s : Synapses)
            if (NBasicDescription* copy = s->Clone(cell, s->GetName())) cell->AddComponent(copy);
        return true;
    }
    int GetStateSize() override { return sizeof(FiringState); }
    char* SaveState(char* buffer) override { return SaveRaw(State, buffer); }
    bool LoadState(const char* buffer) override { return LoadRaw(State, buffer); }
    void Reset() override {
        const int resets = State.Resets + 1;
        State = FiringState();
        State.Resets = resets;
        for (const auto& s : Synapses) s->Reset();
    }
    void Calculate() override {
        Record(this);
        bool input = false;
        for (const auto& s : Synapses) {
            s->Calculate();
            input = input || s->Output(0) != 0;
        }
        ++State.Steps;
        if (input) {
            ++State.InputSteps;
            if (!State.FirstInputStep) State.FirstInputStep = State.Steps;
        }
        const int period = static_cast<int>(Params.Period);
        State.Pulse = period > 0 && (State.Steps - 1) % period == 0;
        if (State.Pulse) TransferToConnectors();
    }
    bool IsPulse() override { return State.Pulse; }

    const FiringState& GetState() const { return State; }
    int GetSynapsesCount() const { return static_cast<int>(Synapses.size()); }

private:
    TestConnector* Find(const std::string& name) const {
        for (const auto& s : Synapses)
            if (name == s->GetName()) return s.get();
        return nullptr;
    }

    std::vector<std::unique_ptr<TestConnector>> Synapses;
    FiringState State;
};

// Analog item with two outputs: (runs, 2 x runs), runs counting its ACalculate calls.
class TestAnalogItem : public Plain<TestAnalogItem, NAItem> {
public:
    TestAnalogItem(NBasicDescription* owner, const char* name) : NAbstractItem(owner, name), Plain(owner, name) {}

    NBasicDescription* New(NBasicDescription* owner, const char* name) override {
        if (!CheckNewOwner<NObject>(owner, name)) return nullptr;
        return new TestAnalogItem(owner, name);
    }
    double* GetOutputs(double* values, unsigned count) override {
        const double out[2] = {static_cast<double>(Runs), 2.0 * Runs};
        std::copy_n(out, std::min(count, 2u), values);
        return values;
    }
    void ACalculate() override { ++Runs; }
    void Reset() override {
        NAItem::Reset();
        Runs = 0;
    }
    void Calculate() override {
        Record(this);
        NAItem::Calculate();
    }

    int Runs = 0;
};

// Analog object: counts its runs.
class TestAObject : public Plain<TestAObject, NAObject> {
public:
    using Plain::Plain;
    NBasicDescription* New(NBasicDescription* owner, const char* name) override {
        if (!CheckNewOwner<NObject>(owner, name)) return nullptr;
        return new TestAObject(owner, name);
    }
    void ACalculate() override { ++Runs; }

    int Runs = 0;
};

// Element with two parameters ("Gain" free, "Threshold" > 0 and resetting) and a state block.
struct ElementParams {
    double Gain = 1;
    double Threshold = 0.5;
};

class TestElement : public NWithParameters<TestElement, NWithoutComponents<TestElement, NObject>, ElementParams> {
public:
    using NWithParameters::NWithParameters;

    static const NParameterTable<ElementParams>& ParameterTable() {
        static const NParameterTable<ElementParams> table{
            {"Gain", &ElementParams::Gain, NRange::Any(), false},
            {"Threshold", &ElementParams::Threshold, NRange::Positive(), true},
        };
        return table;
    }
    NBasicDescription* New(NBasicDescription* owner, const char* name) override {
        if (!CheckNewOwner<NObject>(owner, name)) return nullptr;
        return new TestElement(owner, name);
    }
    int GetStateSize() override { return sizeof(Steps); }
    char* SaveState(char* buffer) override { return SaveRaw(Steps, buffer); }
    bool LoadState(const char* buffer) override { return LoadRaw(Steps, buffer); }
    void Reset() override { Steps = 0; }
    void Calculate() override {
        Record(this);
        ++Steps;
    }

    int Steps = 0;
};

// Pulse source of the model, firing like a TestCell. It answers every operation itself, so that
// whatever the source base adds, these are the final overriders.
class TestSource : public NItem, public NAbstractSource {
public:
    TestSource(NBasicDescription* owner, const char* name)
        : NAbstractItem(owner, name), NItem(owner, name), NAbstractSource(owner, name) {}

    bool CheckName(const char*) override { return true; }
    NBasicDescription* New(NBasicDescription* owner, const char* name) override {
        if (!CheckNewOwner<NModel>(owner, name)) return nullptr;
        return new TestSource(owner, name);
    }
    NBasicDescription* GetComponent(const char* name) override {
        ReportError((name && *name) ? 3 : 1, name ? name : "");
        return nullptr;
    }
    bool AddComponent(NBasicDescription* component) override {
        if (!component) return ReportError(4);
        const std::string name = component->FullName();
        delete component;
        return ReportError(10, name);
    }
    bool DelComponent(const char* name) override { return ReportError((name && *name) ? 3 : 1, name ? name : ""); }
    void GetComponentsList(NStringList&) override {}
    bool CopyComponents(NBasicDescription* target) override {
        if (!target) return ReportError(4);
        return dynamic_cast<TestSource*>(target) ? true : ReportError(5);
    }
    double GetParameter(const char* name) override { return PeriodTable().Get(Params, name); }
    bool SetParameter(const char* name, double value) override {
        bool resets = false;
        if (!PeriodTable().Set(Params, name, value, &resets)) return false;
        if (resets) Reset();
        return true;
    }
    void GetParametersList(NStringList& names) override { PeriodTable().List(names); }
    bool CopyParameters(NBasicDescription* target) override {
        if (!target) return ReportError(4);
        auto* other = dynamic_cast<TestSource*>(target);
        if (!other) return ReportError(5);
        other->Params = Params;
        return true;
    }
    int GetStateSize() override { return 0; }
    char* SaveState(char* buffer) override { return buffer; }
    bool LoadState(const char*) override { return true; }
    void Reset() override { Steps = 0; }
    void Calculate() override {
        Record(this);
        const int period = static_cast<int>(Params.Period);
        Pulse = period > 0 && Steps % period == 0;
        ++Steps;
        if (Pulse) TransferToConnectors();
    }
    bool IsPulse() override { return Pulse; }

    PeriodParams Params;
    int Steps = 0;
    bool Pulse = false;
};

// Observation point with one fixed pulse input named "input"; counts the steps it saw a pulse.
class TestOutGate : public Plain<TestOutGate, NAbstractOutGate> {
public:
    TestOutGate(NBasicDescription* owner, const char* name) : Plain(owner, name), Input(this, "input") {}

    NBasicDescription* New(NBasicDescription* owner, const char* name) override {
        if (!CheckNewOwner<NModel>(owner, name)) return nullptr;
        return new TestOutGate(owner, name);
    }
    NBasicDescription* GetComponent(const char* name) override {
        if (name && std::strcmp(name, "input") == 0) return &Input;
        return Plain::GetComponent(name);
    }
    void Reset() override {
        Input.Reset();
        PulseSteps = 0;
        Steps = 0;
    }
    // Nothing is collected into point lists here; the counters above are the record.
    void ClearData() override {}
    unsigned GetDataSize() const override { return 0; }
    NDataPosition GetXBegin() const override { return NoData.begin(); }
    NDataPosition GetXEnd() const override { return NoData.end(); }
    NDataPosition GetYBegin() const override { return NoData.begin(); }
    NDataPosition GetYEnd() const override { return NoData.end(); }
    void CollectData() override {}
    void CalculateAt(const StepTime&) override {
        Record(this);
        Input.Calculate();
        ++Steps;
        if (Input.Output(0) != 0) PulseSteps += 1;
        LastTime = GetCurrentTime();
    }

    TestConnector Input;
    NDataList NoData;
    int Steps = 0;
    int PulseSteps = 0;
    NTime LastTime = -1;
};

// Every test starts and ends without an active model (default clock) and without a call log.
class KernelTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetActiveModel(nullptr);
        TakeLastError();
    }
    void TearDown() override {
        SetActiveModel(nullptr);
        CallLog = nullptr;
    }
    // The last error code as reported; the last error is taken (reset to 0).
    static std::uint32_t LastCode() {
        const std::uint32_t code = PeekLastErrorCode();
        TakeLastError();
        return code;
    }
};

} // namespace talvero::test
