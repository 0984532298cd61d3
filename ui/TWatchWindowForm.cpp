#include "ui/TWatchWindowForm.h"

#include <charconv>

#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QIcon>
#include <QFile>
#include <QSplitter>
#include <QTabWidget>
#include <QToolBar>
#include <QToolButton>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWindow>
#include <QChartView>

#include "environment/NAtomicFile.h"
#include "ui/TQtChart.h"
#include "ui/TSeriesControlForm.h"
#include "ui/UiDialogs.h"
#include "ui/UiText.h"

// Resources of a static library are registered by hand, outside any namespace.
static void InitWatchResources() {
    static const bool done = [] {
        Q_INIT_RESOURCE(watch);
        return true;
    }();
    (void)done;
}

namespace talvero::ui {
namespace {

QString U(const char* utf8) { return QString::fromUtf8(utf8); }

VChartAxis ChartAxis(VAxis axis) { return axis == VAxis::Horizontal ? VChartAxis::Bottom : VChartAxis::Left; }

QToolButton* AddButton(QToolBar* bar, const QString& icon, const QString& hint) {
    auto* button = new QToolButton(bar);
    button->setIcon(QIcon(icon));
    button->setToolTip(hint);
    button->setAutoRaise(true);
    bar->addWidget(button);
    return button;
}

// The shortest text that reads back as the same number, without an exponent ("0.0001").
void AppendNumber(std::string& out, double value) {
    char buffer[400];  // room for the longest double in fixed notation
    const auto r = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
    out.append(buffer, r.ptr);
}

// A CSV field: quoted when it holds a separator, a quote or a line break.
void AppendField(std::string& out, const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) {
        out += text;
        return;
    }
    out += '"';
    for (char c : text) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
}

QString& LastDirectory() {
    static QString directory;
    return directory;
}

// A save dialog whose default extension follows the chosen filter.
bool ChooseSaveFile(QWidget* parent, const QString& title, const QStringList& filters, const QStringList& suffixes,
                    QString& path) {
    QFileDialog dialog(parent, title);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters(filters);
    dialog.setDefaultSuffix(suffixes.front());
    if (!LastDirectory().isEmpty()) dialog.setDirectory(LastDirectory());
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog, filters, suffixes](const QString& f) {
        const qsizetype i = filters.indexOf(f);
        if (i >= 0) dialog.setDefaultSuffix(suffixes[i]);
    });
    if (RunModal(dialog) != QDialog::Accepted) return false;
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty() || chosen.front().isEmpty()) return false;
    path = chosen.front();
    LastDirectory() = QFileInfo(path).absolutePath();
    return true;
}

} // namespace

std::string SeriesCsv(const VChart& chart) {
    // A series whose past was folded says which rows are only its picture: a fourth column, there
    // only then, so that the usual export stays as it always was.
    bool thinned = false;
    for (int s = 0; s < chart.GetSeriesCount(); ++s) thinned = thinned || chart.GetSeries(s)->GetThinnedCount() > 0;
    std::string out = thinned ? "series,x,y,kept\n" : "series,x,y\n";
    for (int s = 0; s < chart.GetSeriesCount(); ++s) {
        const VChartSeries& series = *chart.GetSeries(s);
        std::string legend;
        AppendField(legend, FromCp(series.GetTitle()).toStdString());
        const int count = series.GetCount();
        const int folded = series.GetThinnedCount();
        out.reserve(out.size() + static_cast<std::size_t>(count) * (legend.size() + (thinned ? 32 : 24)));
        for (int i = 0; i < count; ++i) {
            out += legend;
            out += ',';
            AppendNumber(out, series.GetX(i));
            out += ',';
            AppendNumber(out, series.GetY(i));
            if (thinned) out += i < folded ? ",thinned" : ",all";
            out += '\n';
        }
    }
    return out;
}

TWatchWindowForm::TWatchWindowForm(QWidget* parent, TWatchWindowServices services)
    : QWidget(parent, Qt::Window), Services(std::move(services)) {
    InitWatchResources();
    setWindowTitle(U("Окно наблюдения"));
    resize(300, 200);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    ToolBar1 = new QToolBar(this);
    ToolBar1->setIconSize(QSize(16, 16));
    ToolBar1->setMovable(false);
    ToolButton1 = AddButton(ToolBar1, QStringLiteral(":/talvero/icons/series_control.svg"), U("Управление сериями данных"));
    ToolButton2 = AddButton(ToolBar1, QStringLiteral(":/talvero/icons/window_rename.svg"), U("Изменить имя окна"));
    ToolBar1->addSeparator();
    ToolButton4 = AddButton(ToolBar1, QStringLiteral(":/talvero/icons/picture_save.svg"), U("Сохранить график в файл"));
    ExportCsvButton = AddButton(ToolBar1, QStringLiteral(":/talvero/icons/series_export.svg"),
                                U("Сохранить данные серий в файл CSV"));
    ToolBar1->addSeparator();
    FitButton = AddButton(ToolBar1, QStringLiteral(":/talvero/icons/zoom_fit.svg"),
                          U("Показать все данные (двойной щелчок по графику)"));
    layout->addWidget(ToolBar1);

    Splitter1 = new QSplitter(Qt::Vertical, this);
    Splitter1->setChildrenCollapsible(true);
    PageControl1 = new QTabWidget(Splitter1);
    PageControl1->setDocumentMode(true);
    auto* page = new QWidget(PageControl1);
    auto* pageLayout = new QVBoxLayout(page);
    pageLayout->setContentsMargins(0, 0, 0, 0);
    auto chart = std::make_unique<TQtChart>(page);
    QtChart = chart.get();
    pageLayout->addWidget(QtChart->View());
    PageControl1->addTab(page, U("Графики"));
    // A panel below the splitter that nothing uses yet.
    BottomPanel = new QTabWidget(Splitter1);
    BottomPanel->hide();
    layout->addWidget(Splitter1, 1);

    WatchFrame = std::make_unique<TWatchFrame>(std::move(chart));
    QtChart->OnSettingsChanged = [this] { LayoutChanged = true; };

    connect(ToolButton1, &QToolButton::clicked, this, [this] { ShowSeriesControl(); });
    connect(ToolButton2, &QToolButton::clicked, this, [this] { Rename(); });
    connect(ToolButton4, &QToolButton::clicked, this, [this] { SavePicture(); });
    connect(ExportCsvButton, &QToolButton::clicked, this, [this] { ExportSeries(); });
    connect(FitButton, &QToolButton::clicked, this, [this] { QtChart->ResetZoom(); });
}

TWatchWindowForm::~TWatchWindowForm() {
    // The dialog must not keep editing a frame that is going away.
    if (Services.SeriesControl) Services.SeriesControl->FrameDestroyed(WatchFrame.get());
    QtChart->OnSettingsChanged = nullptr;
    // The frame's chart needs the window's widgets while it lets its series go.
    WatchFrame.reset();
}

TQtChart& TWatchWindowForm::Chart() const { return *QtChart; }

QToolButton* TWatchWindowForm::Button(int number) const {
    switch (number) {
    case 1: return ToolButton1;
    case 2: return ToolButton2;
    case 4: return ToolButton4;
    default: return nullptr;
    }
}

std::string TWatchWindowForm::GetCaption() const { return ToCp(windowTitle()); }

void TWatchWindowForm::SetCaption(const std::string& caption) {
    const QString title = FromCp(caption);
    if (title == windowTitle()) return;
    setWindowTitle(title);
    LayoutChanged = true;
}

VWindowPlacement TWatchWindowForm::GetPlacement() const {
    // The frame's position and the client's size, as SetPlacement takes them; a minimized or
    // maximized window gives its normal placement.
    if (!(isMaximized() || isMinimized()) || !normalGeometry().isValid())
        return VWindowPlacement{y(), x(), width(), height()};
    const QRect normal = normalGeometry();
    const QPoint frame = normal.topLeft() - (geometry().topLeft() - pos());
    return VWindowPlacement{frame.y(), frame.x(), normal.width(), normal.height()};
}

void TWatchWindowForm::SetPlacement(const VWindowPlacement& stored) {
    const VWindowPlacement placement = FitToScreen(stored);
    move(placement.Left, placement.Top);
    resize(std::max(placement.Width, 1), std::max(placement.Height, 1));
}

bool TWatchWindowForm::IsShown() const { return isVisible(); }

void TWatchWindowForm::SetShown(bool shown) { setVisible(shown); }

VWindowState TWatchWindowForm::GetWindowState() const {
    if (windowState() & Qt::WindowMinimized) return VWindowState::Minimized;
    if (windowState() & Qt::WindowMaximized) return VWindowState::Maximized;
    return VWindowState::Normal;
}

void TWatchWindowForm::SetWindowState(VWindowState state) {
    Qt::WindowStates states = windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized);
    if (state == VWindowState::Minimized) states |= Qt::WindowMinimized;
    if (state == VWindowState::Maximized) states |= Qt::WindowMaximized;
    setWindowState(states);
}

void TWatchWindowForm::BringToFront() {
    raise();
    activateWindow();
}

bool TWatchWindowForm::GetAxisLabels(VAxis axis) const { return QtChart->AreAxisLabelsVisible(ChartAxis(axis)); }

void TWatchWindowForm::SetAxisLabels(VAxis axis, bool shown) { QtChart->SetAxisLabelsVisible(ChartAxis(axis), shown); }

std::string TWatchWindowForm::GetAxisTitle(VAxis axis) const { return QtChart->GetAxisTitle(ChartAxis(axis)); }

void TWatchWindowForm::SetAxisTitle(VAxis axis, const std::string& title) {
    QtChart->SetAxisTitle(ChartAxis(axis), title);
}

bool TWatchWindowForm::IsLegendShown() const { return QtChart->IsLegendVisible(); }

void TWatchWindowForm::SetLegendShown(bool shown) { QtChart->SetLegendVisible(shown); }

bool TWatchWindowForm::IsChanged() {
    if (!LayoutChanged && !WatchFrame->TestAndClearChanged()) return false;
    LayoutChanged = false;
    return true;
}

void TWatchWindowForm::resizeEvent(QResizeEvent* event) {
    LayoutChanged = true;
    QWidget::resizeEvent(event);
}

void TWatchWindowForm::showEvent(QShowEvent* event) {
    LayoutChanged = true;
    QWidget::showEvent(event);
}

void TWatchWindowForm::hideEvent(QHideEvent* event) {
    LayoutChanged = true;
    QWidget::hideEvent(event);
}

void TWatchWindowForm::ShowSeriesControl() {
    if (Services.SeriesControl) Services.SeriesControl->OpenForFrame(WatchFrame.get());
}

void TWatchWindowForm::Rename() {
    if (!Services.NameInput) return;
    VNameInputRequest request;
    request.MustSelect = false;
    request.NonEmpty = true;
    request.Sorted = false;
    if (Services.ListCaptions) request.Items = Services.ListCaptions();
    request.Title = ToCp(U("Список имен открытых окно наблюдения"));
    request.InitialText.clear();
    std::string caption;
    if (Services.NameInput->Run(request, caption)) SetCaption(caption);
}

TPictureScaleDialog::TPictureScaleDialog(QWidget* parent, QSize chartSize) : QDialog(parent) {
    setWindowTitle(U("Размер рисунка"));
    Choice = new QComboBox;
    for (int scale = 1; scale <= 4; ++scale)
        Choice->addItem(QStringLiteral("%1×  (%2 × %3)").arg(scale).arg(chartSize.width() * scale).arg(chartSize.height() * scale),
                        scale);
    QPushButton* ok = nullptr;
    auto* layout = new QFormLayout(this);
    layout->addRow(U("Масштаб относительно окна:"), Choice);
    layout->addRow(MakeOkCancelButtons(this, ok));
}

double TPictureScaleDialog::Scale() const { return Choice->currentData().toDouble(); }

void TWatchWindowForm::SavePicture() {
    const QStringList filters = {U("Графический файл (*.bmp)"), U("Рисунок PNG (*.png)"), U("Рисунок SVG (*.svg)")};
    QString path;
    if (!ChooseSaveFile(this, U("Сохранить график в файл"), filters, {"bmp", "png", "svg"}, path)) return;
    double scale = 1;
    if (TQtChart::FormatOfFileName(path) != TPictureFormat::Svg) {
        TPictureScaleDialog dialog(this, QtChart->View()->size());
        if (RunModal(dialog) != QDialog::Accepted) return;
        scale = dialog.Scale();
    }
    if (!SavePictureTo(path, scale))
        ShowMessageBox(this, U("Ошибка!"), U("Не удалось сохранить график в файл\n") + path);
}

bool TWatchWindowForm::SavePictureTo(const QString& fileName, double scale) {
    return QtChart->SavePicture(fileName, TQtChart::FormatOfFileName(fileName), scale);
}

void TWatchWindowForm::ExportSeries() {
    QString path;
    if (!ChooseSaveFile(this, U("Сохранить данные серий"), {U("Файл CSV (*.csv)")}, {"csv"}, path)) return;
    if (!ExportSeriesTo(path)) ShowMessageBox(this, U("Ошибка!"), U("Не удалось записать файл\n") + path);
}

bool TWatchWindowForm::ExportSeriesTo(const QString& fileName) {
    const std::string text = SeriesCsv(*QtChart);
    return WriteFileAtomically(QFile::encodeName(fileName).toStdString(), text);
}

std::unique_ptr<VWatchWindow> TWatchWindowFactory::CreateWatchWindow() {
    auto window = std::make_unique<TWatchWindowForm>(Parent, Services);
    if (Parent) {
        // Below the main window, each further one a step down and to the right, rather than where
        // the window system puts it (often over the main window's corner).
        const int step = 24 * static_cast<int>(Parent->findChildren<TWatchWindowForm*>(Qt::FindDirectChildrenOnly).size() - 1);
        const QRect frame = Parent->frameGeometry();
        window->SetPlacement({frame.bottom() + 8 + step % 240, frame.left() + step % 240, window->width(), window->height()});
    }
    return window;
}

} // namespace talvero::ui
