#pragma once
// The model: root of a computable system, owning one net, its sources and its out gates.

#include <memory>
#include <vector>

#include "kernel/NAbstractOutGate.h"
#include "kernel/NAbstractSource.h"
#include "kernel/NClock.h"
#include "kernel/NNet.h"

namespace talvero {

class NModel : public NAbstractNet {
public:
    using SourceList = std::vector<std::unique_ptr<NAbstractSource>>;
    using OutGateList = std::vector<std::unique_ptr<NAbstractOutGate>>;

    explicit NModel(const char* name);
    ~NModel() override;

    bool CheckName(const char* name) override;
    NBasicDescription* New(NBasicDescription* owner, const char* name) override;
    NBasicDescription* Clone(NBasicDescription* owner, const char* name) override;
    NBasicDescription* GetComponent(const char* name) override;
    bool AddComponent(NBasicDescription* component) override;
    bool DelComponent(const char* name) override;
    void GetComponentsList(NStringList& names) override;
    bool CopyComponents(NBasicDescription* target) override;
    double GetParameter(const char* name) override;
    bool SetParameter(const char* name, double value) override;
    void GetParametersList(NStringList& names) override;
    bool CopyParameters(NBasicDescription* target) override;
    int GetStateSize() override { return 0; }
    char* SaveState(char* buffer) override { return buffer; }
    bool LoadState(const char*) override { return true; }
    void Reset() override;
    void Calculate() override;

    virtual NTime GetTimeStep() const { return TimeStep; }
    virtual bool SetTimeStep(NTime step);
    virtual NTime GetCurrentTime() const { return CurrentTime; }
    virtual NTime GetPulseDuration() const { return PulseDuration; }
    virtual bool SetPulseDuration(NTime duration);
    virtual void DelAllComponents();
    virtual void DelNet();
    virtual NAbstractNet* GetNet() const { return Net.get(); }
    virtual bool SetNet(NAbstractNet* net);
    virtual int GetSourcesCount() const { return static_cast<int>(Sources.size()); }
    virtual bool AddSource(NAbstractSource* source);
    virtual bool DelSource(const char* name);
    virtual void DelAllSources();
    virtual SourceList::const_iterator GetSourcesBegin() const { return Sources.begin(); }
    virtual SourceList::const_iterator GetSourcesEnd() const { return Sources.end(); }
    virtual NAbstractSource* GetSource(const char* name);
    virtual int GetOutGatesCount() const { return static_cast<int>(OutGates.size()); }
    virtual bool AddOutGate(NAbstractOutGate* gate);
    virtual bool DelOutGate(const char* name);
    virtual void DelAllOutGates();
    virtual OutGateList::const_iterator GetOutGatesBegin() const { return OutGates.begin(); }
    virtual OutGateList::const_iterator GetOutGatesEnd() const { return OutGates.end(); }
    virtual NAbstractOutGate* GetOutGate(const char* name);

private:
    std::unique_ptr<NAbstractNet> Net;
    SourceList Sources;
    OutGateList OutGates;
    double TimeStep;
    NTime CurrentTime = 0;
    NTime PulseDuration;
};

} // namespace talvero
