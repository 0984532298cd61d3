#pragma once
// The chart frame of a watch window without its window: which out gates it observes, how each
// is plotted, how new data reach the series, and the series file.

#include <memory>
#include <string>

#include "modeler/OutGateWatchData.h"
#include "modeler/VChart.h"

namespace talvero {

class NAbstractOutGate;
class NModel;
class VProgressWindow;
class VResultsBudget;

class TWatchFrame {
public:
    // The frame owns its chart.
    explicit TWatchFrame(std::unique_ptr<VChart> chart);
    TWatchFrame(const TWatchFrame&) = delete;
    TWatchFrame& operator=(const TWatchFrame&) = delete;
    virtual ~TWatchFrame();

    NModel* GetModel() const { return Model; }
    void SetModel(NModel* model) { Model = model; }
    // Where SaveToFile and LoadFromFile show their progress; null shows none.
    void SetProgress(VProgressWindow* progress) { Progress = progress; }
    // The share of memory the series may keep; null keeps every point.
    void SetBudget(VResultsBudget* budget) { Budget = budget; }

    VChart& GetChart() const { return *Chart; }
    const OutGateWatchMap& GetWatchData() const { return WatchData; }

    // Observes the out gate `name` as `data` says; false when the model has no such gate, the
    // gate is observed already or another record has the same legend.
    bool AddObservation(const std::string& name, const OutGateWatchData& data);
    void AddSeries(const std::string& name);
    void RemoveSeries(const std::string& name);
    void RemoveAllSeries();
    void ClearAll();
    void CopyWatchData(OutGateWatchMap& target) const;
    bool SetLegend(const std::string& name, const std::string& legend);
    void SetSeriesLegend(const std::string& name, const std::string& legend);
    bool SetColor(const std::string& name, VColor color);
    void SetSeriesColor(const std::string& name, VColor color);

    // Appends what the observed gates recorded since the last call; once per timer tick.
    void UpdateSeries();
    void ClearSeriesData();
    bool TestAndClearChanged();

    // The points go to a binary file beside the series file (DataFileName); series files that
    // hold their points as text are still read.
    bool SaveToFile(const std::string& fileName, bool withData);
    static std::string DataFileName(const std::string& seriesFileName);
    bool LoadFromFile(const std::string& fileName, bool withData);

private:
    VChartSeries* FindSeries(const std::string& title) const;
    OutGateWatchData* FindRecord(const std::string& name) const;
    bool LegendTaken(const std::string& legend) const;
    void UpdateTimeCourse(VChartSeries& series, const OutGateWatchData& data, NAbstractOutGate& gate);
    void Replot(VChartSeries& series, const OutGateWatchData& data, NAbstractOutGate& gate);
    // Folds the older part of a series that has outgrown its share of the budget.
    void KeepWithinBudget(VChartSeries& series);

    NModel* Model = nullptr;
    OutGateWatchMap WatchData;
    bool Changed = false;
    std::unique_ptr<VChart> Chart;
    VProgressWindow* Progress = nullptr;
    VResultsBudget* Budget = nullptr;
};

} // namespace talvero
