#pragma once
// Afferent neuron: compresses its analog input x into 1 - exp(-Sensitivity * x) and feeds it to
// its low-threshold zone; each switching-on of the zone sends one pulse.

#include <memory>

#include "elements/NADConvertor.h"
#include "elements/NLTZone.h"
#include "kernel/NElementSupport.h"

namespace talvero {

struct NAfferentNeuronParameters {
    double Sensitivity = 1.0;  // >= 0
};

class NAfferentNeuron : public NWithParameters<NAfferentNeuron, NADConvertor, NAfferentNeuronParameters> {
public:
    NAfferentNeuron(NBasicDescription* owner, const char* name);
    ~NAfferentNeuron() override;

    static const NParameterTable<NAfferentNeuronParameters>& ParameterTable();

    bool IsPulse() override { return LTZone->IsFiring(); }

    bool CheckName(const char* name) override;
    NBasicDescription* New(NBasicDescription* owner, const char* name) override;
    NBasicDescription* GetComponent(const char* path) override;
    bool AddComponent(NBasicDescription* component) override;
    void GetComponentsList(NStringList& names) override;
    bool CopyComponents(NBasicDescription* target) override;

    int GetStateSize() override { return 0; }
    char* SaveState(char* buffer) override { return buffer; }
    bool LoadState(const char*) override { return true; }

    void Reset() override;
    void Calculate() override;

    bool SetLTZone(NLTZone* zone) { return ReplaceOwnedComponent(this, LTZone, zone); }
    NLTZone* GetLTZone() const { return LTZone.get(); }

private:
    std::unique_ptr<NLTZone> LTZone;
};

} // namespace talvero
