#pragma once
// How one observed out gate is plotted: its legend, colour and vertical shift.

#include <map>
#include <memory>
#include <string>

#include "modeler/VChart.h"

namespace talvero {

class OutGateWatchData {
public:
    OutGateWatchData() = default;
    OutGateWatchData(const std::string& legend, double yShift, VColor color)
        : YShift(yShift), Color(color), Legend(legend) {}

    double YShift = 0;
    VColor Color = kChartAutoColor;
    // Identifies the series inside its frame: unique among the frame's records.
    std::string Legend;
};

// Out gate name -> record, in byte-wise name order.
using OutGateWatchMap = std::map<std::string, std::unique_ptr<OutGateWatchData>>;

} // namespace talvero
