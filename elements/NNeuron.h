#pragma once
// Pulse-generating neuron: its ion units' outputs, averaged by sign, drive its low-threshold
// zone; each switching-on of the zone sends one pulse to every attached connector.

#include <memory>
#include <vector>

#include "elements/NComponentSlots.h"
#include "elements/NIonUnit.h"
#include "elements/NLTZone.h"
#include "kernel/NAbstractItem.h"

namespace talvero {

class NNeuron : public NWithoutParameters<NNeuron, NItem> {
public:
    using IonUnitList = std::vector<std::unique_ptr<NIonUnit>>;

    NNeuron(NBasicDescription* owner, const char* name);
    ~NNeuron() override;

    bool IsPulse() override { return LTZone->IsFiring(); }

    bool CheckName(const char* name) override;
    NBasicDescription* New(NBasicDescription* owner, const char* name) override;
    NBasicDescription* GetComponent(const char* path) override;
    bool AddComponent(NBasicDescription* component) override;
    bool DelComponent(const char* name) override;
    void GetComponentsList(NStringList& names) override;
    bool CopyComponents(NBasicDescription* target) override;

    // Negative potential, then positive potential.
    int GetStateSize() override { return sizeof(NState); }
    char* SaveState(char* buffer) override { return SaveRaw(State, buffer); }
    bool LoadState(const char* buffer) override { return LoadRaw(State, buffer); }

    virtual int GetIonUnitsCount() const { return static_cast<int>(IonUnits.size()); }
    virtual bool AddIonUnit(NIonUnit* unit);
    virtual bool DelIonUnit(const char* name);
    virtual void DelAllIonUnits();
    virtual IonUnitList::const_iterator GetIonUnitsBegin() const { return IonUnits.begin(); }
    virtual IonUnitList::const_iterator GetIonUnitsEnd() const { return IonUnits.end(); }
    virtual NIonUnit* GetIonUnit(const char* name);

    void Reset() override;
    void Calculate() override;
    void Prefetch(int distance) const override;

    virtual double GetNegativePotential() const { return State.NegativePotential; }
    virtual double GetPositivePotential() const { return State.PositivePotential; }
    virtual double GetPotential() const { return State.NegativePotential + State.PositivePotential; }

    bool SetLTZone(NLTZone* zone) { return ReplaceOwnedComponent(this, LTZone, zone); }
    NLTZone* GetLTZone() const { return LTZone.get(); }

private:
    friend struct NFastAccess;  // the fast engine's compiler and state copies
    NIonUnit* FindIonUnit(const char* name) const;

    struct NState {
        double NegativePotential = 0;
        double PositivePotential = 0;
    } State;
    static_assert(sizeof(NState) == 16);

    IonUnitList IonUnits;
    std::unique_ptr<NLTZone> LTZone;
};

} // namespace talvero
