#pragma once
// A watch window: a tool bar over one chart frame. The controller owns it through its
// VWatchWindow face; the frame's bookkeeping is the modeler's, the chart is Qt Charts.

#include <functional>
#include <memory>
#include <string>

#include <QDialog>
#include <QWidget>

#include "modeler/TWatchFrame.h"
#include "modeler/VUiInterfaces.h"

class QSplitter;
class QTabWidget;
class QToolBar;
class QToolButton;

class QComboBox;

namespace talvero::ui {

class TQtChart;
class TSeriesControlForm;

// What a watch window reaches outside itself; any part may be missing (the command then does
// nothing).
struct TWatchWindowServices {
    VNameInputDialog* NameInput = nullptr;
    // The captions of all open watch windows, as the controller lists them.
    std::function<NStringList()> ListCaptions;
    TSeriesControlForm* SeriesControl = nullptr;
};

// The size of a bitmap picture of the chart: the chart's size on the screen times a scale.
class TPictureScaleDialog : public QDialog {
    Q_OBJECT
public:
    TPictureScaleDialog(QWidget* parent, QSize chartSize);
    double Scale() const;
    QComboBox* Scales() const { return Choice; }

private:
    QComboBox* Choice;
};

class TWatchWindowForm : public QWidget, public VWatchWindow {
    Q_OBJECT
public:
    explicit TWatchWindowForm(QWidget* parent = nullptr, TWatchWindowServices services = {});
    ~TWatchWindowForm() override;

    std::string GetCaption() const override;
    void SetCaption(const std::string& caption) override;
    VWindowPlacement GetPlacement() const override;
    void SetPlacement(const VWindowPlacement& placement) override;
    bool IsShown() const override;
    void SetShown(bool shown) override;
    VWindowState GetWindowState() const override;
    void SetWindowState(VWindowState state) override;
    void BringToFront() override;
    bool GetAxisLabels(VAxis axis) const override;
    void SetAxisLabels(VAxis axis, bool shown) override;
    std::string GetAxisTitle(VAxis axis) const override;
    void SetAxisTitle(VAxis axis, const std::string& title) override;
    bool IsLegendShown() const override;
    void SetLegendShown(bool shown) override;
    bool IsChanged() override;
    TWatchFrame& GetFrame() override { return *WatchFrame; }

    TQtChart& Chart() const;
    QToolButton* Button(int number) const;
    QToolButton* ExportButton() const { return ExportCsvButton; }
    // Shows all data again after zooming or panning.
    QToolButton* FitAllButton() const { return FitButton; }
    QTabWidget* Pages() const { return PageControl1; }

    // The tool bar's commands.
    void ShowSeriesControl();
    void Rename();
    // Asks for a file name, then saves; the format follows the chosen filter or extension.
    void SavePicture();
    bool SavePictureTo(const QString& fileName, double scale = 1);
    void ExportSeries();
    bool ExportSeriesTo(const QString& fileName);

    // Set by resizing, showing and hiding, and by changes of what the watch info file keeps
    // (caption, axes, legend); read and cleared by IsChanged.
    bool LayoutChanged = false;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    TWatchWindowServices Services;
    QToolBar* ToolBar1;
    QToolButton* ToolButton1;
    QToolButton* ToolButton2;
    QToolButton* ToolButton4;
    QToolButton* ExportCsvButton;
    QToolButton* FitButton;
    QSplitter* Splitter1;
    QTabWidget* PageControl1;
    QWidget* BottomPanel;
    TQtChart* QtChart = nullptr;  // owned by the frame
    std::unique_ptr<TWatchFrame> WatchFrame;
};

// Makes the controller's watch windows as children of the main window.
class TWatchWindowFactory : public VWatchWindowFactory {
public:
    TWatchWindowFactory(QWidget* parent, TWatchWindowServices services)
        : Parent(parent), Services(std::move(services)) {}
    std::unique_ptr<VWatchWindow> CreateWatchWindow() override;
    TWatchWindowServices& GetServices() { return Services; }

private:
    QWidget* Parent;
    TWatchWindowServices Services;
};

// Writes the series of a frame as CSV (series,x,y), the legends in UTF-8.
std::string SeriesCsv(const VChart& chart);

} // namespace talvero::ui
