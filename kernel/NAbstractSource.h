#pragma once
// Base of every signal source. The model keeps sources in its own list and computes them first.
// NAbstractItem is a virtual base here and in the item classes, so that a concrete source that
// also derives from NItem or NAItem holds a single item part.

#include "kernel/NAbstractItem.h"
#include "kernel/NClock.h"

namespace talvero {

class NAbstractSource : public virtual NAbstractItem {
public:
    NAbstractSource(NBasicDescription* owner, const char* name) : NAbstractItem(owner, name) {}

    // A source holds no components: every name is free.
    bool CheckName(const char* name) override;
    // "StartTime" and "StopTime"; concrete sources handle their own names first and pass the rest here.
    double GetParameter(const char* name) override;
    bool SetParameter(const char* name, double value) override;
    void GetParametersList(NStringList& names) override;
    void DescribeParameters(std::vector<NParameterInfo>& parameters) override;
    bool CopyParameters(NBasicDescription* target) override;

    virtual NTime GetStartTime() const { return StartTime; }
    // A start in the future switches an active source off; a stop before the new start is cleared.
    virtual bool SetStartTime(NTime t);
    virtual NTime GetStopTime() const { return StopTime; }
    virtual bool SetStopTime(NTime t);
    // Switching on resets the source and stamps StartTime, switching off stamps StopTime.
    virtual void SetActive(bool on);
    virtual bool IsActive() const { return Active; }
    // Back to what loading gave: off, with the times last set rather than the last switching times.
    virtual void Rewind();
    void SaveStepState(NStateWriter& out) override;
    bool LoadStepState(NStateReader& in) override;

protected:
    friend struct NFastAccess;  // the fast engine runs BeginStep for the sources it steps
    // The test every source runs at the start of its step: switches on at StartTime, off at
    // StopTime (0 = never). True when the class-specific computation of the step follows.
    bool BeginStep();

private:
    NTime StartTime = 0;
    NTime StopTime = 0;
    bool Active = false;
    // Switching overwrites StartTime and StopTime; a rewind needs the values set.
    NTime SetStart = 0;
    NTime SetStop = 0;
};

} // namespace talvero
