#pragma once
// Sub-stepping for analog elements that compute at an interval of their own.

namespace talvero {

class NStateWriter;
class NStateReader;

class NAnalogAddition {
public:
    NAnalogAddition();
    virtual ~NAnalogAddition() = default;

    virtual double GetCalcStep() const { return CalcStep; }
    // Values <= 0 are ignored.
    virtual void SetCalcStep(double value);
    virtual void Reset();
    virtual void ACalculate() = 0;
    virtual void Calculate();

    double GetCountDown() const { return CountDown; }

protected:
    void SaveCountDown(NStateWriter& out) const;
    bool LoadCountDown(NStateReader& in);

protected:
    double CalcStep;
    double CountDown = 0;
};

} // namespace talvero
