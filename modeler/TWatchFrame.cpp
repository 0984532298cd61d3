#include "modeler/TWatchFrame.h"

#include <bit>
#include <charconv>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <limits>
#include <utility>
#include <vector>

#include <locale.h>

#include "environment/NAtomicFile.h"
#include "kernel/NAbstractOutGate.h"
#include "kernel/NError.h"
#include "kernel/NModel.h"
#include "modeler/VIniFile.h"
#include "modeler/VResultsBudget.h"
#include "modeler/VUiInterfaces.h"

namespace talvero {
namespace {

// Reads a piece of a point list the way the C library reads a decimal number in the "C" locale:
// leading blanks skipped, the longest number prefix taken, 0 when there is none. Read in place:
// the '|' that ends the piece is never part of a number.
double ParsePointValue(const char* piece) {
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    if (!cLocale) return std::strtod(piece, nullptr);
    return strtod_l(piece, nullptr, cLocale);
}

// Series points go to a binary file beside the series file: as text, a long run's points took
// minutes to write and read. The stamp ties the two files together, so that a series file left
// from an earlier save never reads another save's points.
static_assert(std::endian::native == std::endian::little, "series data files are little-endian");
constexpr char kDataMagic[8] = {'T', 'V', 'S', 'E', 'R', 'I', 'E', 'S'};
constexpr std::uint64_t kDataHeaderSize = 16;
const char* const kDataCountKey = "DataCount";
const char* const kDataOffsetKey = "DataOffset";
const char* const kDataStampKey = "DataStamp";
// How many of the first points are a folded picture of the run's past.
const char* const kThinnedKey = "Thinned";

std::int64_t NewDataStamp() {
    static std::mt19937_64 random(std::random_device{}() ^
                                  static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()));
    return static_cast<std::int64_t>(random() >> 2);  // positive in the INI file's integers
}

// Reads the points a series file's section names from its data file; false when the data file
// is missing, foreign, from another save or too short.
bool ReadDataPoints(std::ifstream& data, std::uint64_t fileSize, const VIniFile& file, const std::string& section,
                    std::vector<double>& xs, std::vector<double>& ys) {
    const std::int64_t count = file.ReadInteger(section, kDataCountKey, -1);
    const std::int64_t offset = file.ReadInteger(section, kDataOffsetKey, -1);
    const std::int64_t stamp = file.ReadInteger(section, kDataStampKey, -1);
    if (count < 0 || offset < static_cast<std::int64_t>(kDataHeaderSize) || !data) return false;
    char header[kDataHeaderSize];
    data.seekg(0);
    if (!data.read(header, sizeof header) || std::memcmp(header, kDataMagic, sizeof kDataMagic) != 0) return false;
    std::int64_t fileStamp = 0;
    std::memcpy(&fileStamp, header + 8, sizeof fileStamp);
    if (fileStamp != stamp) return false;
    const auto n = static_cast<std::uint64_t>(count);
    if (n > fileSize / 16 || static_cast<std::uint64_t>(offset) > fileSize - n * 16) return false;
    xs.resize(n);
    ys.resize(n);
    data.seekg(offset);
    return n == 0 || (data.read(reinterpret_cast<char*>(xs.data()), static_cast<std::streamsize>(n * 8)) &&
                      data.read(reinterpret_cast<char*>(ys.data()), static_cast<std::streamsize>(n * 8)));
}

VColor ReadColor(const VIniFile& file, const std::string& section) {
    const std::int64_t value = file.ReadInteger(section, "Color", kChartAutoColor);
    if (value < std::numeric_limits<VColor>::min() || value > std::numeric_limits<VColor>::max())
        return kChartAutoColor;
    return static_cast<VColor>(value);
}

} // namespace

TWatchFrame::TWatchFrame(std::unique_ptr<VChart> chart) : Chart(std::move(chart)) {}

TWatchFrame::~TWatchFrame() { ClearAll(); }

VChartSeries* TWatchFrame::FindSeries(const std::string& title) const {
    const int count = Chart->GetSeriesCount();
    for (int i = 0; i < count; ++i) {
        VChartSeries* series = Chart->GetSeries(i);
        if (series->GetTitle() == title) return series;
    }
    return nullptr;
}

OutGateWatchData* TWatchFrame::FindRecord(const std::string& name) const {
    auto found = WatchData.find(name);
    return found == WatchData.end() ? nullptr : found->second.get();
}

bool TWatchFrame::LegendTaken(const std::string& legend) const {
    for (const auto& [name, data] : WatchData)
        if (data->Legend == legend) return true;
    return false;
}

bool TWatchFrame::AddObservation(const std::string& name, const OutGateWatchData& data) {
    if (!Model || !Model->GetOutGate(name.c_str())) return false;
    if (WatchData.contains(name) || LegendTaken(data.Legend)) return false;
    WatchData.emplace(name, std::make_unique<OutGateWatchData>(data));
    AddSeries(name);
    Changed = true;
    return true;
}

void TWatchFrame::AddSeries(const std::string& name) {
    NAbstractOutGate* gate = Model ? Model->GetOutGate(name.c_str()) : nullptr;
    auto& slot = WatchData[name];
    if (!slot) slot = std::make_unique<OutGateWatchData>();
    const OutGateWatchData& data = *slot;

    VChartSeries* series = Chart->AddSeries();
    series->SetTitle(data.Legend);
    series->SetColor(data.Color);
    if (gate) series->SetWatchType(gate->GetWatchType());
    series->SetActive(false);
    if (gate) {
        auto y = gate->GetYBegin();
        const auto yEnd = gate->GetYEnd();
        for (auto x = gate->GetXBegin(), xEnd = gate->GetXEnd(); x != xEnd && y != yEnd; ++x, ++y)
            series->AddXY(*x, *y + data.YShift, data.Color);
    }
    series->SetActive(true);
    Changed = true;
}

void TWatchFrame::RemoveSeries(const std::string& name) {
    const OutGateWatchData* data = FindRecord(name);
    if (!data) return;
    for (int i = Chart->GetSeriesCount() - 1; i >= 0; --i) {
        VChartSeries* series = Chart->GetSeries(i);
        if (series->GetTitle() == data->Legend) Chart->RemoveSeries(series);
    }
    Changed = true;
}

void TWatchFrame::RemoveAllSeries() {
    while (Chart->GetSeriesCount() > 0) Chart->RemoveSeries(Chart->GetSeries(Chart->GetSeriesCount() - 1));
    Changed = true;
}

void TWatchFrame::ClearAll() {
    if (WatchData.empty()) return;
    RemoveAllSeries();
    WatchData.clear();
    Changed = true;
}

void TWatchFrame::CopyWatchData(OutGateWatchMap& target) const {
    for (const auto& [name, data] : WatchData) target[name] = std::make_unique<OutGateWatchData>(*data);
}

bool TWatchFrame::SetLegend(const std::string& name, const std::string& legend) {
    if (!Model || !Model->GetOutGate(name.c_str())) return false;
    OutGateWatchData* data = FindRecord(name);
    if (!data || LegendTaken(legend)) return false;
    SetSeriesLegend(name, legend);
    data->Legend = legend;
    return true;
}

void TWatchFrame::SetSeriesLegend(const std::string& name, const std::string& legend) {
    const OutGateWatchData* data = FindRecord(name);
    if (!data) return;
    if (VChartSeries* series = FindSeries(data->Legend)) series->SetTitle(legend);
    Changed = true;
}

bool TWatchFrame::SetColor(const std::string& name, VColor color) {
    if (!Model || !Model->GetOutGate(name.c_str())) return false;
    OutGateWatchData* data = FindRecord(name);
    if (!data) return false;
    SetSeriesColor(name, color);
    data->Color = color;
    return true;
}

void TWatchFrame::SetSeriesColor(const std::string& name, VColor color) {
    const OutGateWatchData* data = FindRecord(name);
    if (!data) return;
    if (VChartSeries* series = FindSeries(data->Legend)) series->SetColor(color);
    Changed = true;
}

void TWatchFrame::UpdateTimeCourse(VChartSeries& series, const OutGateWatchData& data, NAbstractOutGate& gate) {
    const auto xBegin = gate.GetXBegin();
    const auto yBegin = gate.GetYBegin();
    auto x = gate.GetXEnd();
    auto y = gate.GetYEnd();
    if (x == xBegin) return;

    const int count = series.GetCount();
    const double lastX = count > 0 ? series.GetX(count - 1) : 0.0;

    // Walk back over the points newer than the series' last one, then add them oldest first.
    std::vector<std::pair<double, double>> fresh;
    bool stoppedInside = false;
    while (x != xBegin && y != yBegin) {
        --x;
        --y;
        if (!(*x > lastX)) {
            stoppedInside = x != xBegin;
            break;
        }
        fresh.emplace_back(*x, *y);
    }
    for (auto p = fresh.rbegin(); p != fresh.rend(); ++p) series.AddXY(p->first, p->second + data.YShift, data.Color);
    Changed = true;

    // Points the gate dropped at the front of its window leave the series too; points dropped
    // because they were read already stay.
    if (stoppedInside && !(Budget && Budget->WasTrimmed(&gate))) {
        const double firstX = *xBegin;
        while (series.GetCount() > 0 && series.GetX(0) < firstX) series.DeleteFirst();
    }
}

void TWatchFrame::KeepWithinBudget(VChartSeries& series) {
    if (!Budget) return;
    const std::size_t cap = Budget->PointsPerSeries();
    const std::size_t count = static_cast<std::size_t>(series.GetCount());
    if (count <= cap) return;
    // The newest half of the share stays at full resolution; the rest becomes a picture of at most a
    // quarter of the share, so the next fold comes after another quarter of new points.
    const std::size_t front = count - cap / 2;
    std::vector<double> xs(front);
    std::vector<double> ys(front);
    for (std::size_t i = 0; i < front; ++i) {
        xs[i] = series.GetX(static_cast<int>(i));
        ys[i] = series.GetY(static_cast<int>(i));
    }
    std::vector<double> keptX;
    std::vector<double> keptY;
    ReduceKeepingExtremes(xs, ys, cap / 16, keptX, keptY);
    series.ReplaceFront(static_cast<int>(front), keptX, keptY);
    Budget->MarkReached();
    Changed = true;
}

void TWatchFrame::Replot(VChartSeries& series, const OutGateWatchData& data, NAbstractOutGate& gate) {
    series.Clear();
    auto y = gate.GetYBegin();
    const auto yEnd = gate.GetYEnd();
    for (auto x = gate.GetXBegin(), xEnd = gate.GetXEnd(); x != xEnd && y != yEnd; ++x, ++y)
        series.AddXY(*x, *y + data.YShift, data.Color);
    Changed = true;
}

void TWatchFrame::UpdateSeries() {
    for (int j = 0; j < Chart->GetSeriesCount(); ++j) Chart->GetSeries(j)->SetActive(false);

    for (int j = 0; j < Chart->GetSeriesCount(); ++j) {
        VChartSeries* series = Chart->GetSeries(j);
        const std::string* name = nullptr;
        const OutGateWatchData* data = nullptr;
        for (const auto& [key, record] : WatchData)
            if (record->Legend == series->GetTitle()) {
                name = &key;
                data = record.get();
                break;
            }
        // A series that no record owns (renamed from outside) has no gate to read.
        if (!name) continue;

        NAbstractOutGate* gate = Model ? Model->GetOutGate(name->c_str()) : nullptr;
        if (!gate) {
            // The series that moves into place j is handled at the next update.
            RemoveSeries(*name);
            Changed = true;
            continue;
        }
        if (!gate->GetWatchState()) {
            if (series->GetCount() > 0) {
                series->Clear();
                Changed = true;
            }
            continue;
        }
        if (gate->GetWatchType() == NAbstractOutGate::kTimeCourse) {
            UpdateTimeCourse(*series, *data, *gate);
            KeepWithinBudget(*series);
        } else
            Replot(*series, *data, *gate);
    }

    for (int j = 0; j < Chart->GetSeriesCount(); ++j) Chart->GetSeries(j)->SetActive(true);
}

void TWatchFrame::ClearSeriesData() {
    const int count = Chart->GetSeriesCount();
    for (int j = 0; j < count; ++j) Chart->GetSeries(j)->Clear();
    if (count > 0) Changed = true;
}

bool TWatchFrame::TestAndClearChanged() { return std::exchange(Changed, false); }

bool TWatchFrame::SaveToFile(const std::string& fileName, bool withData) {
    if (WatchData.empty()) return true;

    VIniFile file(fileName);  // the old content is discarded, not read
    const std::string prefix = Progress ? Progress->GetLineText(1) : std::string();
    if (Progress) Progress->SetRange(1, 0, static_cast<int>(WatchData.size()));

    NAtomicFile data(DataFileName(fileName));
    const std::int64_t stamp = NewDataStamp();
    std::uint64_t offset = kDataHeaderSize;
    if (withData) {
        char header[kDataHeaderSize];
        std::memcpy(header, kDataMagic, sizeof kDataMagic);
        std::memcpy(header + 8, &stamp, sizeof stamp);
        if (!data.Open() || !data.Write(header, sizeof header)) {
            ReportError(1003, data.GetTarget() + " - " + data.GetError());
            return false;
        }
    }

    std::vector<double> values;
    for (const auto& [name, record] : WatchData) {
        if (Progress) Progress->SetLineText(1, prefix + " - " + record->Legend + ":");
        file.WriteString(name, "Legend", record->Legend);
        file.WriteFloat(name, "YShift", record->YShift);
        file.WriteInteger(name, "Color", record->Color);
        if (withData) {
            if (const VChartSeries* series = FindSeries(record->Legend)) {
                const int count = series->GetCount();
                values.resize(static_cast<std::size_t>(count));
                bool written = true;
                for (const bool isX : {true, false}) {
                    for (int i = 0; i < count; ++i)
                        values[static_cast<std::size_t>(i)] = isX ? series->GetX(i) : series->GetY(i);
                    written = written && data.Write(reinterpret_cast<const char*>(values.data()), values.size() * 8);
                }
                if (!written) {
                    ReportError(1003, data.GetTarget() + " - " + data.GetError());
                    return false;
                }
                file.WriteInteger(name, kDataCountKey, count);
                file.WriteInteger(name, kDataOffsetKey, static_cast<std::int64_t>(offset));
                file.WriteInteger(name, kDataStampKey, stamp);
                if (series->GetThinnedCount() > 0) file.WriteInteger(name, kThinnedKey, series->GetThinnedCount());
                offset += static_cast<std::uint64_t>(count) * 16;
            }
        }
        if (Progress) Progress->Advance(1, 1);
    }

    // The data first: a series file never names points that are not on disk.
    if (withData && !data.Commit()) {
        ReportError(1003, data.GetTarget() + " - " + data.GetError());
        return false;
    }
    if (!file.UpdateFile()) {
        // The old series file stays as it was; the frame keeps its changed mark.
        ReportError(1003, fileName);
        return false;
    }
    Changed = false;
    return true;
}

std::string TWatchFrame::DataFileName(const std::string& seriesFileName) { return seriesFileName + ".dat"; }

bool TWatchFrame::LoadFromFile(const std::string& fileName, bool withData) {
    const std::unique_ptr<VIniFile> file = VIniFile::Open(fileName);
    if (!file) {
        ReportError(1002, fileName);
        return false;
    }
    ClearAll();

    const std::vector<std::string> sections = file->GetSections();
    std::ifstream points;
    std::uint64_t pointsSize = 0;
    if (withData) {
        points.open(DataFileName(fileName), std::ios::binary | std::ios::ate);
        if (points) pointsSize = static_cast<std::uint64_t>(points.tellg());
    }
    std::vector<double> xs;
    std::vector<double> ys;
    const std::string prefix = Progress ? Progress->GetLineText(1) : std::string();
    if (Progress) Progress->SetRange(1, 0, static_cast<int>(sections.size()));

    for (const std::string& section : sections) {
        if (Progress) Progress->SetLineText(1, prefix + " - " + section + ":");
        if (!Model || !Model->GetOutGate(section.c_str())) {
            if (Progress) Progress->Advance(1, 1);
            continue;
        }
        auto data = std::make_unique<OutGateWatchData>(file->ReadString(section, "Legend", section),
                                                       file->ReadFloat(section, "YShift", 0.0),
                                                       ReadColor(*file, section));
        // Series are told apart by their legends: a second section with a legend already in use
        // would plot its gate's data into the first one's series.
        if (LegendTaken(data->Legend)) {
            if (Progress) Progress->Advance(1, 1);
            continue;
        }
        const OutGateWatchData& record = *data;
        WatchData.emplace(section, std::move(data));

        VChartSeries* series = Chart->AddSeries();
        series->SetTitle(record.Legend);
        series->SetColor(record.Color);
        series->SetWatchType(Model->GetOutGate(section.c_str())->GetWatchType());
        if (withData && file->ValueExists(section, kDataCountKey)) {
            series->Clear();
            series->SetActive(false);
            // Points that cannot be read leave the series empty rather than wrong.
            if (ReadDataPoints(points, pointsSize, *file, section, xs, ys)) {
                for (std::size_t i = 0; i < xs.size(); ++i) series->AddXY(xs[i], ys[i], record.Color);
                const std::int64_t thinned = file->ReadInteger(section, kThinnedKey, 0);
                if (thinned > 0 && static_cast<std::uint64_t>(thinned) <= xs.size()) {
                    xs.resize(static_cast<std::size_t>(thinned));
                    ys.resize(static_cast<std::size_t>(thinned));
                    series->ReplaceFront(static_cast<int>(thinned), xs, ys);
                    if (Budget) Budget->MarkReached();
                }
            }
            KeepWithinBudget(*series);
            series->SetActive(true);
        } else if (withData) {
            series->Clear();
            const std::string xText = file->ReadString(section, "XDATA", std::string());
            const std::string yText = file->ReadString(section, "YDATA", std::string());
            series->SetActive(false);
            std::size_t xPos = 0;
            std::size_t yPos = 0;
            for (;;) {
                const std::size_t xBar = xText.find('|', xPos);
                if (xBar == std::string::npos) break;
                const std::size_t yBar = yText.find('|', yPos);
                if (yBar == std::string::npos) {
                    // Fewer y values than x values: the points cannot be paired, none are kept.
                    series->Clear();
                    break;
                }
                const double x = ParsePointValue(xText.c_str() + xPos);
                const double y = ParsePointValue(yText.c_str() + yPos);
                series->AddXY(x, y, record.Color);
                // A long text series folds as it is read rather than all at once at the end.
                if ((series->GetCount() & 0xFFFF) == 0) KeepWithinBudget(*series);
                xPos = xBar + 1;
                yPos = yBar + 1;
            }
            KeepWithinBudget(*series);
            series->SetActive(true);
        }
        if (Progress) Progress->Advance(1, 1);
    }

    Changed = false;
    return true;
}

} // namespace talvero
