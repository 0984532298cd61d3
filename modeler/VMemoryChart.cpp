#include "modeler/VMemoryChart.h"

#include <algorithm>
#include <cstdint>
#include <string>

#include "environment/NAtomicFile.h"

namespace talvero {

void VMemorySeries::AddXY(double x, double y, VColor color) {
    if (Points.empty() || !(x < Points.back().X)) {
        Points.push_back({x, y, color});
        return;
    }
    auto place = std::upper_bound(Points.begin(), Points.end(), x,
                                  [](double value, const Point& p) { return value < p.X; });
    Points.insert(place, {x, y, color});
}

double VMemorySeries::GetX(int index) const {
    if (index < 0 || index >= GetCount()) return 0;
    return Points[static_cast<std::size_t>(index)].X;
}

double VMemorySeries::GetY(int index) const {
    if (index < 0 || index >= GetCount()) return 0;
    return Points[static_cast<std::size_t>(index)].Y;
}

void VMemorySeries::DeleteFirst() {
    if (Points.empty()) return;
    Points.pop_front();
    if (Thinned > 0) --Thinned;
}

void VMemorySeries::ReplaceFront(int count, const std::vector<double>& xs, const std::vector<double>& ys) {
    const std::size_t gone = std::min(static_cast<std::size_t>(std::max(count, 0)), Points.size());
    Points.erase(Points.begin(), Points.begin() + static_cast<std::ptrdiff_t>(gone));
    const std::size_t n = std::min(xs.size(), ys.size());
    for (std::size_t i = n; i-- > 0;) Points.push_front({xs[i], ys[i], Color});
    Thinned = static_cast<int>(n);
}

void VMemorySeries::SetActive(bool active) {
    if (active && !Active) ++Activations;
    Active = active;
}

VChartSeries* VMemoryChart::AddSeries() {
    Series.push_back(std::make_unique<VMemorySeries>());
    return Series.back().get();
}

void VMemoryChart::RemoveSeries(VChartSeries* series) {
    auto found = std::find_if(Series.begin(), Series.end(),
                              [series](const auto& s) { return s.get() == series; });
    if (found != Series.end()) Series.erase(found);
}

VChartSeries* VMemoryChart::GetSeries(int index) const { return GetMemorySeries(index); }

VMemorySeries* VMemoryChart::GetMemorySeries(int index) const {
    if (index < 0 || index >= GetSeriesCount()) return nullptr;
    return Series[static_cast<std::size_t>(index)].get();
}

void VMemoryChart::SetAxisTitle(VChartAxis axis, const std::string& title) {
    AxisTitles[AxisIndex(axis)] = title;
}

const std::string& VMemoryChart::GetAxisTitle(VChartAxis axis) const {
    return AxisTitles[AxisIndex(axis)];
}

void VMemoryChart::SetAxisLabelsVisible(VChartAxis axis, bool visible) {
    AxisLabels[AxisIndex(axis)] = visible;
}

bool VMemoryChart::AreAxisLabelsVisible(VChartAxis axis) const { return AxisLabels[AxisIndex(axis)]; }

namespace {

void PutLE(std::string& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

} // namespace

bool VMemoryChart::SaveBitmap(const std::string& fileName) {
    const std::uint32_t width = static_cast<std::uint32_t>(std::max(Width, 1));
    const std::uint32_t height = static_cast<std::uint32_t>(std::max(Height, 1));
    const std::uint32_t rowSize = (width * 3 + 3) & ~3u;
    const std::uint32_t imageSize = rowSize * height;
    std::string header;
    header += "BM";
    PutLE(header, 54 + imageSize, 4);
    PutLE(header, 0, 4);
    PutLE(header, 54, 4);
    PutLE(header, 40, 4);
    PutLE(header, width, 4);
    PutLE(header, height, 4);
    PutLE(header, 1, 2);
    PutLE(header, 24, 2);
    PutLE(header, 0, 4);
    PutLE(header, imageSize, 4);
    PutLE(header, 2835, 4);
    PutLE(header, 2835, 4);
    PutLE(header, 0, 4);
    PutLE(header, 0, 4);
    header.append(static_cast<std::size_t>(imageSize), '\xFF');
    return WriteFileAtomically(fileName, header);
}

} // namespace talvero
