#pragma once
// A chart that only keeps its series in memory: for tests and for runs without windows.

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "modeler/VChart.h"

namespace talvero {

class VMemorySeries : public VChartSeries {
public:
    struct Point {
        double X;
        double Y;
        VColor Color;
    };

    const std::string& GetTitle() const override { return Title; }
    void SetTitle(const std::string& title) override { Title = title; }
    VColor GetColor() const override { return Color; }
    void SetColor(VColor color) override { Color = color; }

    void AddXY(double x, double y, VColor color) override;
    int GetCount() const override { return static_cast<int>(Points.size()); }
    double GetX(int index) const override;
    double GetY(int index) const override;
    void DeleteFirst() override;
    void Clear() override {
        Points.clear();
        Thinned = 0;
    }
    void ReplaceFront(int count, const std::vector<double>& xs, const std::vector<double>& ys) override;
    int GetThinnedCount() const override { return Thinned; }

    void SetActive(bool active) override;
    bool IsActive() const override { return Active; }

    const std::deque<Point>& GetPoints() const { return Points; }
    // How often the series went from inactive to active: what a drawing chart would redraw.
    int GetActivations() const { return Activations; }

private:
    std::string Title;
    VColor Color = kChartAutoColor;
    std::deque<Point> Points;
    int Thinned = 0;
    bool Active = true;
    int Activations = 0;
};

class VMemoryChart : public VChart {
public:
    VMemoryChart(int width = 400, int height = 300) : Width(width), Height(height) {}

    VChartSeries* AddSeries() override;
    void RemoveSeries(VChartSeries* series) override;
    int GetSeriesCount() const override { return static_cast<int>(Series.size()); }
    VChartSeries* GetSeries(int index) const override;

    void SetLegendVisible(bool visible) override { LegendVisible = visible; }
    bool IsLegendVisible() const override { return LegendVisible; }
    void SetAxisTitle(VChartAxis axis, const std::string& title) override;
    const std::string& GetAxisTitle(VChartAxis axis) const override;
    void SetAxisLabelsVisible(VChartAxis axis, bool visible) override;
    bool AreAxisLabelsVisible(VChartAxis axis) const override;

    // Writes a blank white 24-bit bitmap of the chart's size.
    bool SaveBitmap(const std::string& fileName) override;

    VMemorySeries* GetMemorySeries(int index) const;

private:
    static int AxisIndex(VChartAxis axis) { return axis == VChartAxis::Bottom ? 0 : 1; }

    int Width;
    int Height;
    std::vector<std::unique_ptr<VMemorySeries>> Series;
    bool LegendVisible = false;
    std::string AxisTitles[2];
    bool AxisLabels[2] = {true, true};
};

} // namespace talvero
