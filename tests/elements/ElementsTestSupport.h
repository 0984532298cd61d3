#pragma once
// Test-only items and observers for assembling small models around the neural elements.

#include <cmath>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "elements/NComponentSlots.h"
#include "kernel/NAItem.h"
#include "kernel/NAbstractItem.h"
#include "kernel/NClock.h"
#include "kernel/NElementSupport.h"
#include "kernel/NModel.h"
#include "kernel/NNet.h"
#include "kernel/NUnitDescription.h"

namespace talvero::test {

// Number of the step being computed: 1 for the first step after a reset.
inline int CurrentStep() { return static_cast<int>(std::llround(static_cast<double>(GetCurrentTime() / GetTimeStep()))) + 1; }

// Pulse item that starts a pulse in each of the chosen steps.
class PulseSource : public NWithoutParameters<PulseSource, NWithoutComponents<PulseSource, NItem>> {
public:
    PulseSource(NBasicDescription* owner, const char* name, std::set<int> steps = {})
        : NAbstractItem(owner, name), NWithoutParameters(owner, name), Steps(std::move(steps)) {}

    NBasicDescription* New(NBasicDescription* owner, const char* name) override { return new PulseSource(owner, name); }
    int GetStateSize() override { return 0; }
    char* SaveState(char* buffer) override { return buffer; }
    bool LoadState(const char*) override { return true; }
    void Reset() override { Emitting = false; }
    void Calculate() override {
        Emitting = Steps.count(CurrentStep()) != 0;
        if (Emitting) TransferToConnectors();
    }
    bool IsPulse() override { return Emitting; }

    std::set<int> Steps;

private:
    bool Emitting = false;
};

// Analog item whose one output is Value (settable between steps).
class AnalogSource : public NWithoutParameters<AnalogSource, NWithoutComponents<AnalogSource, NAItem>> {
public:
    AnalogSource(NBasicDescription* owner, const char* name, double value = 0)
        : NAbstractItem(owner, name), NWithoutParameters(owner, name), Value(value) {}

    NBasicDescription* New(NBasicDescription* owner, const char* name) override { return new AnalogSource(owner, name); }
    int GetStateSize() override { return 0; }
    char* SaveState(char* buffer) override { return buffer; }
    bool LoadState(const char*) override { return true; }
    void ACalculate() override {}
    double* GetOutputs(double* values, unsigned count) override {
        if (count) values[0] = Value;
        return values;
    }

    double Value;
};

// Pulse connector that logs the step of every pulse it is handed.
class TransferLog : public NWithoutParameters<TransferLog, NWithoutComponents<TransferLog, NConnector>> {
public:
    TransferLog(NBasicDescription* owner, const char* name) : NWithoutParameters(owner, name, 1) {}
    NBasicDescription* New(NBasicDescription* owner, const char* name) override { return new TransferLog(owner, name); }
    int GetStateSize() override { return 0; }
    char* SaveState(char* buffer) override { return buffer; }
    bool LoadState(const char*) override { return true; }
    void Transfer() override {
        NConnector::Transfer();
        Steps.push_back(CurrentStep());
    }
    void Reset() override { NConnector::Reset(); }
    void Calculate() override {}

    std::vector<int> Steps;
};

// Analog connector that keeps what it was last handed.
class AnalogLog : public NWithoutParameters<AnalogLog, NWithoutComponents<AnalogLog, NAConnector>> {
public:
    AnalogLog(NBasicDescription* owner, const char* name) : NWithoutParameters(owner, name, 1, 1) {}
    NBasicDescription* New(NBasicDescription* owner, const char* name) override { return new AnalogLog(owner, name); }
    int GetStateSize() override { return 0; }
    char* SaveState(char* buffer) override { return buffer; }
    bool LoadState(const char*) override { return true; }
    void Transfer() override {
        NAConnector::Transfer();
        Values.push_back(Inputs()[0]);
    }
    void Reset() override {}
    void Calculate() override {}

    std::vector<double> Values;
};

// Observer standing in the net: owns a pulse log "pulses" and an analog log "values", and runs
// OnStep (when set) in each of its steps.
class Probe : public NWithoutParameters<Probe, NObject> {
public:
    Probe(NBasicDescription* owner, const char* name)
        : NWithoutParameters(owner, name), Pulses(new TransferLog(this, "pulses")), Values(new AnalogLog(this, "values")) {}

    bool CheckName(const char*) override { return false; }
    NBasicDescription* New(NBasicDescription* owner, const char* name) override { return new Probe(owner, name); }
    NBasicDescription* GetComponent(const char* path) override {
        NBasicDescription* found = nullptr;
        if (LookupFixed(Pulses.get(), path, false, found) || LookupFixed(Values.get(), path, false, found)) return found;
        ReportError(3, path ? path : "");
        return nullptr;
    }
    bool AddComponent(NBasicDescription* c) override {
        delete c;
        return ReportError(10);
    }
    bool DelComponent(const char*) override { return ReportError(3); }
    void GetComponentsList(NStringList&) override {}
    bool CopyComponents(NBasicDescription*) override { return true; }
    int GetStateSize() override { return 0; }
    char* SaveState(char* buffer) override { return buffer; }
    bool LoadState(const char*) override { return true; }
    void Reset() override {
        Pulses->Steps.clear();
        Values->Values.clear();
    }
    void Calculate() override {
        if (OnStep) OnStep(CurrentStep());
    }

    std::unique_ptr<TransferLog> Pulses;
    std::unique_ptr<AnalogLog> Values;
    std::function<void(int)> OnStep;
};

// A model with one net "net", active while it lives. Objects are constructed in the net and
// appended in the order of the calls.
class TestModel {
public:
    TestModel() : Model(new NModel("m")) {
        Net = new NNet(Model.get(), "net");
        EXPECT_TRUE(Model->AddComponent(Net));
        SetActiveModel(Model.get());
    }
    ~TestModel() {
        Model.reset();
        SetActiveModel(nullptr);
    }

    template <class T, class... Args>
    T* Add(const char* name, Args&&... args) {
        T* object = new T(Net, name, std::forward<Args>(args)...);
        EXPECT_TRUE(Net->AddObject(object));
        return object;
    }

    bool Link(const char* item, const char* connector) { return Net->CreateLink(item, connector); }

    void Reset() { ResetActiveModel(); }
    void Run(int steps) {
        for (int i = 0; i < steps; ++i) StepActiveModel();
    }

    std::unique_ptr<NModel> Model;
    NNet* Net;
};

// Code of the last error, taken (so the next check starts clean).
inline std::uint32_t TakeCode() { return TakeLastError().GetCode(); }

} // namespace talvero::test
