#pragma once
// A watch window without a display: its frame draws on an in-memory chart, and it keeps its
// layout mark the way the real window does (set by resizing, showing and hiding).

#include <memory>
#include <string>

#include "kernel/Cp1251.h"
#include "modeler/TWatchFrame.h"
#include "modeler/VMemoryChart.h"
#include "modeler/VUiInterfaces.h"

namespace talvero::testing {

struct FakeWatchWindow : VWatchWindow {
    TWatchFrame Frame{std::make_unique<VMemoryChart>()};
    std::string Caption = Utf8ToCp1251("Окно наблюдения");
    VWindowPlacement Placement{100, 10, 300, 200};
    bool Shown = false;
    VWindowState State = VWindowState::Normal;
    bool LayoutChanged = false;
    int FrontCalls = 0;

    static VChartAxis ChartAxis(VAxis axis) {
        return axis == VAxis::Horizontal ? VChartAxis::Bottom : VChartAxis::Left;
    }
    VMemoryChart& Chart() { return static_cast<VMemoryChart&>(Frame.GetChart()); }

    std::string GetCaption() const override { return Caption; }
    void SetCaption(const std::string& caption) override { Caption = caption; }
    VWindowPlacement GetPlacement() const override { return Placement; }
    void SetPlacement(const VWindowPlacement& placement) override {
        if (placement.Width != Placement.Width || placement.Height != Placement.Height) LayoutChanged = true;
        Placement = placement;
    }
    bool IsShown() const override { return Shown; }
    void SetShown(bool shown) override {
        if (shown != Shown) LayoutChanged = true;
        Shown = shown;
    }
    VWindowState GetWindowState() const override { return State; }
    void SetWindowState(VWindowState state) override { State = state; }
    void BringToFront() override { ++FrontCalls; }
    bool GetAxisLabels(VAxis axis) const override {
        return Frame.GetChart().AreAxisLabelsVisible(ChartAxis(axis));
    }
    void SetAxisLabels(VAxis axis, bool shown) override {
        Frame.GetChart().SetAxisLabelsVisible(ChartAxis(axis), shown);
    }
    std::string GetAxisTitle(VAxis axis) const override { return Frame.GetChart().GetAxisTitle(ChartAxis(axis)); }
    void SetAxisTitle(VAxis axis, const std::string& title) override {
        Frame.GetChart().SetAxisTitle(ChartAxis(axis), title);
    }
    bool IsLegendShown() const override { return Frame.GetChart().IsLegendVisible(); }
    void SetLegendShown(bool shown) override { Frame.GetChart().SetLegendVisible(shown); }
    bool IsChanged() override {
        if (!LayoutChanged && !Frame.TestAndClearChanged()) return false;
        LayoutChanged = false;
        return true;
    }
    TWatchFrame& GetFrame() override { return Frame; }
};

} // namespace talvero::testing
