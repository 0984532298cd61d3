#include "ui/TSeriesControlForm.h"

#include <QApplication>
#include <QCheckBox>
#include <QColorDialog>
#include <QEvent>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTableWidget>
#include <QVBoxLayout>

#include "kernel/NModel.h"
#include "modeler/TWatchFrame.h"
#include "ui/TQtChart.h"
#include "ui/UiDialogs.h"
#include "ui/UiText.h"

namespace talvero::ui {
namespace {

QString U(const char* utf8) { return QString::fromUtf8(utf8); }

constexpr int kActiveBorderColor = 10;
constexpr int kWindowColor = 5;

QTableWidget* MakeGrid(QWidget* parent, const QString& header) {
    auto* grid = new QTableWidget(1, 1, parent);
    grid->setHorizontalHeaderLabels({header});
    grid->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    grid->horizontalHeader()->setHighlightSections(false);
    grid->verticalHeader()->hide();
    grid->setSelectionMode(QAbstractItemView::SingleSelection);
    grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->setShowGrid(true);
    grid->setWordWrap(false);
    // The font's height in pixels and a little room.
    const QFont font = grid->font();
    const int points = font.pointSize() > 0 ? font.pointSize() : 9;
    grid->verticalHeader()->setDefaultSectionSize(points * grid->logicalDpiY() / 72 + 5);
    grid->verticalHeader()->setMinimumSectionSize(1);
    grid->setMinimumSize(170, 150);
    return grid;
}

QPushButton* MakeMoveButton(QWidget* parent, const QString& text, const QString& hint) {
    auto* button = new QPushButton(text, parent);
    button->setToolTip(hint);
    button->setFixedWidth(48);
    return button;
}

void Fill(QTableWidget* grid, const std::vector<std::string>& names) {
    const int previous = grid->currentRow();
    grid->clearContents();
    grid->setRowCount(std::max<int>(1, static_cast<int>(names.size())));
    for (int i = 0; i < static_cast<int>(names.size()); ++i)
        grid->setItem(i, 0, new QTableWidgetItem(FromCp(names[static_cast<std::size_t>(i)])));
    // A grid always has a selected row; it stays where it was as far as the rows allow.
    const int row = std::clamp(previous, 0, grid->rowCount() - 1);
    grid->setCurrentCell(row, 0);
}

std::vector<std::string> NamesOf(const OutGateWatchMap& map) {
    std::vector<std::string> names;
    names.reserve(map.size());
    for (const auto& [name, record] : map) names.push_back(name);
    std::stable_sort(names.begin(), names.end(),
                     [](const std::string& a, const std::string& b) { return NaturalLess(FromCp(a), FromCp(b)); });
    return names;
}

} // namespace

TSeriesControlForm::TSeriesControlForm(QWidget* parent, VNameInputDialog* nameInput)
    : QDialog(parent, Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint),
      NameInput(nameInput) {
    setWindowTitle(U("Добавление/удаление/настройка наблюдений"));
    setModal(false);

    StringGrid1 = MakeGrid(this, U("Доступные точки съёма данных"));
    StringGrid2 = MakeGrid(this, U("Наблюдаемые точки съёма данных"));
    Button1 = MakeMoveButton(this, QStringLiteral(">>>"), U("Начать наблюдение за всем точками"));
    Button2 = MakeMoveButton(this, QStringLiteral(">"), U("Начать наблюдение"));
    Button3 = MakeMoveButton(this, QStringLiteral("<"), U("Прервать наблюдение"));
    Button4 = MakeMoveButton(this, QStringLiteral("<<<"), U("Прервать наблюдение за всеми точками"));

    auto* moves = new QVBoxLayout();
    moves->addStretch(1);
    for (QPushButton* b : {Button1, Button2, Button3, Button4}) moves->addWidget(b);
    moves->addStretch(1);
    auto* lists = new QHBoxLayout();
    lists->addWidget(StringGrid1, 1);
    lists->addLayout(moves);
    lists->addWidget(StringGrid2, 1);

    GroupBox2 = new QGroupBox(U(" Параметры окна "), this);
    CheckBox3 = new QCheckBox(U("Шкала по оси X"), GroupBox2);
    CheckBox3->setChecked(true);
    CheckBox1 = new QCheckBox(U("Подпись оси X:"), GroupBox2);
    Edit1 = new QLineEdit(GroupBox2);
    CheckBox4 = new QCheckBox(U("Шкала по оси Y"), GroupBox2);
    CheckBox4->setChecked(true);
    CheckBox2 = new QCheckBox(U("Подпись оси Y:"), GroupBox2);
    Edit2 = new QLineEdit(GroupBox2);
    auto* window = new QGridLayout(GroupBox2);
    window->addWidget(CheckBox3, 0, 0, 1, 2);
    window->addWidget(CheckBox1, 1, 0);
    window->addWidget(Edit1, 1, 1);
    window->addWidget(CheckBox4, 2, 0, 1, 2);
    window->addWidget(CheckBox2, 3, 0);
    window->addWidget(Edit2, 3, 1);
    window->setColumnStretch(1, 1);
    window->setRowStretch(4, 1);

    GroupBox1 = new QGroupBox(U(" Параметры наблюдения "), this);
    Edit3 = new QLineEdit(GroupBox1);
    Edit3->setReadOnly(true);
    Edit3->setToolTip(U("Двойной щелчок, чтобы изменить подпись"));
    Edit4 = new QLineEdit(QStringLiteral("0"), GroupBox1);
    OutterCPanel = new QFrame(GroupBox1);
    OutterCPanel->setFrameShape(QFrame::Panel);
    OutterCPanel->setFrameShadow(QFrame::Sunken);
    OutterCPanel->setFixedSize(48, 22);
    OutterCPanel->setToolTip(U("Двойной щелчок, чтобы изменить цвет"));
    InnerCPanel = new QFrame(OutterCPanel);
    InnerCPanel->setGeometry(4, 4, 40, 14);
    InnerCPanel->setAutoFillBackground(true);
    InnerCPanel->setToolTip(U("Двойной щелчок, чтобы изменить цвет"));
    CheckBox5 = new QCheckBox(U("Отключить все подписи"), GroupBox1);
    CheckBox5->setChecked(true);
    auto* observation = new QGridLayout(GroupBox1);
    observation->addWidget(new QLabel(U("Подпись: "), GroupBox1), 0, 0);
    observation->addWidget(Edit3, 0, 1);
    observation->addWidget(new QLabel(U("Смещение:"), GroupBox1), 1, 0);
    observation->addWidget(Edit4, 1, 1);
    observation->addWidget(new QLabel(U("Цвет:"), GroupBox1), 2, 0);
    observation->addWidget(OutterCPanel, 2, 1, Qt::AlignLeft);
    observation->addWidget(CheckBox5, 3, 0, 1, 2);
    observation->setColumnStretch(1, 1);

    auto* groups = new QHBoxLayout();
    groups->addWidget(GroupBox2, 1);
    groups->addWidget(GroupBox1, 1);

    BitBtn1 = new QPushButton(style()->standardIcon(QStyle::SP_DialogApplyButton), U("Применить"), this);
    BitBtn2 = new QPushButton(style()->standardIcon(QStyle::SP_DialogCancelButton), U("Отмена"), this);
    BitBtn1->setAutoDefault(false);
    BitBtn2->setAutoDefault(false);
    auto* buttons = new QHBoxLayout();
    buttons->addStretch(1);
    buttons->addWidget(BitBtn1);
    buttons->addWidget(BitBtn2);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(lists, 1);
    layout->addLayout(groups);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    for (QPushButton* b : {Button1, Button2, Button3, Button4}) b->setAutoDefault(false);

    connect(Button1, &QPushButton::clicked, this, [this] { MoveAll(); });
    connect(Button2, &QPushButton::clicked, this, [this] { MoveSelected(); });
    connect(Button3, &QPushButton::clicked, this, [this] { ReturnSelected(); });
    connect(Button4, &QPushButton::clicked, this, [this] { ReturnAll(); });
    connect(StringGrid1, &QTableWidget::cellDoubleClicked, this, [this] { MoveSelected(); });
    connect(StringGrid2, &QTableWidget::cellDoubleClicked, this, [this] { ReturnSelected(); });
    connect(StringGrid2, &QTableWidget::currentCellChanged, this, [this] { ShowSelected(); });
    connect(CheckBox1, &QCheckBox::clicked, this, [this] { CheckBoxClicked(CheckBox1, Edit1); });
    connect(CheckBox2, &QCheckBox::clicked, this, [this] { CheckBoxClicked(CheckBox2, Edit2); });
    connect(CheckBox3, &QCheckBox::clicked, this, [this] { AxesChanged = true; });
    connect(CheckBox4, &QCheckBox::clicked, this, [this] { AxesChanged = true; });
    connect(Edit1, &QLineEdit::textEdited, this, [this] { AxesChanged = true; });
    connect(Edit2, &QLineEdit::textEdited, this, [this] { AxesChanged = true; });
    connect(CheckBox5, &QCheckBox::clicked, this, [this] { CheckBox5Clicked(); });
    connect(Edit4, &QLineEdit::editingFinished, this, [this] { ShiftEdited(); });
    connect(BitBtn1, &QPushButton::clicked, this, [this] { Apply(); });
    connect(BitBtn2, &QPushButton::clicked, this, [this] { Cancel(); });
    for (QObject* o : {static_cast<QObject*>(Edit3), static_cast<QObject*>(OutterCPanel),
                       static_cast<QObject*>(InnerCPanel)})
        o->installEventFilter(this);

    SetFieldEnabled(Edit1, false);
    SetFieldEnabled(Edit2, false);
    FillGrids();
}

TSeriesControlForm::~TSeriesControlForm() = default;

void TSeriesControlForm::OpenForFrame(TWatchFrame* frame) {
    if (isVisible() || !frame) return;
    EditedFrame = frame;
    LoadFromFrame();
    FillGrids();
    AxesChanged = ColorsChanged = LegendsChanged = ObservationsChanged = false;
    show();
    Centre();
    raise();
    activateWindow();
}

void TSeriesControlForm::FrameDestroyed(TWatchFrame* frame) {
    if (frame && frame == EditedFrame) hide();
}

void TSeriesControlForm::Centre() {
    const QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    if (!screen) return;
    QRect frame = frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    move(frame.topLeft());
}

void TSeriesControlForm::hideEvent(QHideEvent* event) {
    EditedFrame = nullptr;
    Observed.clear();
    Unobserved.clear();
    ObservedNames.clear();
    UnobservedNames.clear();
    QDialog::hideEvent(event);
}

void TSeriesControlForm::LoadFromFrame() {
    Observed.clear();
    Unobserved.clear();
    EditedFrame->CopyWatchData(Observed);
    if (NModel* model = EditedFrame->GetModel()) {
        for (auto gate = model->GetOutGatesBegin(); gate != model->GetOutGatesEnd(); ++gate) {
            const std::string name = (*gate)->GetName();
            if (Observed.contains(name)) continue;
            // A gate the user has not observed yet: the chart picks its colour.
            Unobserved[name] = std::make_unique<OutGateWatchData>(name, 0.0, kChartAutoColor);
        }
    }
    const VChart& chart = EditedFrame->GetChart();
    const struct {
        QLineEdit* Field;
        QCheckBox* Box;
        VChartAxis Axis;
    } titles[] = {{Edit1, CheckBox1, VChartAxis::Bottom}, {Edit2, CheckBox2, VChartAxis::Left}};
    for (const auto& t : titles) {
        const std::string title = chart.GetAxisTitle(t.Axis);
        t.Field->setText(FromCp(title));
        t.Box->setChecked(!title.empty());
        SetFieldEnabled(t.Field, !title.empty());
    }
    CheckBox3->setChecked(chart.AreAxisLabelsVisible(VChartAxis::Bottom));
    CheckBox4->setChecked(chart.AreAxisLabelsVisible(VChartAxis::Left));
}

void TSeriesControlForm::FillGrids() {
    ObservedNames = NamesOf(Observed);
    UnobservedNames = NamesOf(Unobserved);
    {
        const QSignalBlocker block(StringGrid2);
        Fill(StringGrid2, ObservedNames);
    }
    Fill(StringGrid1, UnobservedNames);
    Button1->setEnabled(!Unobserved.empty());
    Button2->setEnabled(!Unobserved.empty());
    Button3->setEnabled(!Observed.empty());
    Button4->setEnabled(!Observed.empty());
    ShowSelected();
}

const std::string* TSeriesControlForm::Selected(const QTableWidget* grid, const std::vector<std::string>& names) const {
    const int row = grid->currentRow();
    // An empty list shows one empty row, which is no selection.
    if (row < 0 || row >= static_cast<int>(names.size())) return nullptr;
    return &names[static_cast<std::size_t>(row)];
}

OutGateWatchData* TSeriesControlForm::SelectedRecord() {
    const std::string* name = Selected(StringGrid2, ObservedNames);
    if (!name) return nullptr;
    auto found = Observed.find(*name);
    return found == Observed.end() ? nullptr : found->second.get();
}

void TSeriesControlForm::SetFieldEnabled(QLineEdit* field, bool enabled) {
    field->setEnabled(enabled);
    QPalette palette = field->palette();
    const QColor color = SystemColor(enabled ? kWindowColor : kActiveBorderColor);
    palette.setColor(QPalette::Active, QPalette::Base, color);
    palette.setColor(QPalette::Inactive, QPalette::Base, color);
    palette.setColor(QPalette::Disabled, QPalette::Base, color);
    field->setPalette(palette);
}

void TSeriesControlForm::ShowColor(const OutGateWatchData& record) {
    QColor color = ColorFromValue(record.Color);
    if (record.Color == kChartAutoColor) {
        // Apply makes the series anew in the map's order, and the chart hands out its automatic
        // colours by place: that is the colour a new observation will be drawn in.
        int place = 0;
        for (const auto& [name, observed] : Observed) {
            if (observed.get() == &record) break;
            ++place;
        }
        color = AutoColor(place);
        // Until then an observed series keeps the colour it is drawn with.
        if (!ObservationsChanged && EditedFrame)
            if (const auto* chart = dynamic_cast<const TQtChart*>(&EditedFrame->GetChart()))
                for (int i = 0; i < chart->GetSeriesCount(); ++i)
                    if (chart->GetQtSeries(i)->GetTitle() == record.Legend) color = chart->GetQtSeries(i)->DrawnColor();
    }
    ShownColor = color;
    QPalette palette = InnerCPanel->palette();
    palette.setColor(QPalette::Window, color);
    InnerCPanel->setPalette(palette);
}

void TSeriesControlForm::ShowSelected() {
    const OutGateWatchData* record = SelectedRecord();
    if (!record) {
        Edit3->clear();
        Edit4->clear();
        GroupBox1->setEnabled(false);
        SetFieldEnabled(Edit4, false);
        return;
    }
    GroupBox1->setEnabled(true);
    Edit3->setText(FromCp(record->Legend));
    Edit4->setText(FormatNumber(record->YShift));
    Edit4->setModified(false);
    SetFieldEnabled(Edit4, true);
    ShowColor(*record);
}

void TSeriesControlForm::MoveAll() {
    for (auto& [name, record] : Unobserved) Observed[name] = std::move(record);
    Unobserved.clear();
    ObservationsChanged = true;
    FillGrids();
}

void TSeriesControlForm::ReturnAll() {
    for (auto& [name, record] : Observed) Unobserved[name] = std::move(record);
    Observed.clear();
    ObservationsChanged = true;
    FillGrids();
}

void TSeriesControlForm::MoveSelected() {
    const std::string* selected = Selected(StringGrid1, UnobservedNames);
    if (!selected) return;
    const std::string name = *selected;
    auto found = Unobserved.find(name);
    if (found == Unobserved.end()) return;
    Observed[name] = std::move(found->second);
    Unobserved.erase(found);
    ObservationsChanged = true;
    FillGrids();
}

void TSeriesControlForm::ReturnSelected() {
    const std::string* selected = Selected(StringGrid2, ObservedNames);
    if (!selected) return;
    const std::string name = *selected;
    auto found = Observed.find(name);
    if (found == Observed.end()) return;
    Unobserved[name] = std::move(found->second);
    Observed.erase(found);
    ObservationsChanged = true;
    FillGrids();
}

void TSeriesControlForm::EditLegend() {
    const std::string* selected = Selected(StringGrid2, ObservedNames);
    OutGateWatchData* record = SelectedRecord();
    if (!selected || !record || !NameInput) return;
    VNameInputRequest request;
    request.MustSelect = false;
    request.NonEmpty = true;
    request.Sorted = false;
    for (const auto* map : {&Observed, &Unobserved})
        for (const auto& [name, r] : *map) request.Items.push_back(r->Legend);
    request.Title = ToCp(U("Подпись для ")) + *selected;
    std::string legend;
    if (!NameInput->Run(request, legend)) return;
    // The dialog may have run for a while: the selection and the record must still be there.
    if (!isVisible() || SelectedRecord() != record) return;
    Edit3->setText(FromCp(legend));
    record->Legend = legend;
    LegendsChanged = true;
}

void TSeriesControlForm::EditColor() {
    OutGateWatchData* record = SelectedRecord();
    if (!record) return;
    QColor color = ShownColor;
    bool chosen = false;
    if (ColorChooser) {
        chosen = ColorChooser(color);
    } else {
        QColorDialog dialog(color, this);
        dialog.setWindowTitle(U("Цвет"));
        chosen = RunModal(dialog) == QDialog::Accepted;
        if (chosen) color = dialog.selectedColor();
    }
    if (!chosen || !color.isValid() || !isVisible() || SelectedRecord() != record) return;
    record->Color = ValueFromColor(color);
    ShowColor(*record);
    ColorsChanged = true;
}

void TSeriesControlForm::ShiftEdited() {
    OutGateWatchData* record = SelectedRecord();
    if (!record) return;
    double value = 0;
    const QString text = Edit4->text();
    if (!ParseNumber(text.trimmed(), value)) {
        // The field goes back to the record's value, so that leaving it again does not repeat
        // the complaint.
        Edit4->setText(FormatNumber(record->YShift));
        Edit4->setModified(false);
        ShowMessageBox(this, U("Ошибка!"), U("«%1» не является числом.").arg(text));
        return;
    }
    Edit4->setModified(false);
    // Leaving the field without a new value changes nothing.
    if (value == record->YShift) return;
    record->YShift = value;
    ObservationsChanged = true;
}

void TSeriesControlForm::CheckBoxClicked(QCheckBox* box, QLineEdit* field) {
    SetFieldEnabled(field, box->isChecked());
    // Switching a title off or on is a change of the axes even when the text stays.
    AxesChanged = true;
}

void TSeriesControlForm::CheckBox5Clicked() {
    if (EditedFrame) EditedFrame->GetChart().SetLegendVisible(!CheckBox5->isChecked());
}

void TSeriesControlForm::Apply() {
    TWatchFrame* frame = EditedFrame;
    if (!frame) {
        hide();
        return;
    }
    // A shift typed but not yet confirmed counts, as if the field had been left.
    if (Edit4->isModified()) ShiftEdited();

    if (ObservationsChanged) {
        frame->ClearAll();
        for (const auto& [name, record] : Observed) frame->AddObservation(name, *record);
    } else {
        if (ColorsChanged)
            for (const auto& [name, record] : Observed) frame->SetColor(name, record->Color);
        if (LegendsChanged)
            for (const auto& [name, record] : Observed) frame->SetLegend(name, record->Legend);
    }
    if (AxesChanged) {
        VChart& chart = frame->GetChart();
        chart.SetAxisTitle(VChartAxis::Left, CheckBox2->isChecked() ? ToCp(Edit2->text()) : std::string());
        chart.SetAxisTitle(VChartAxis::Bottom, CheckBox1->isChecked() ? ToCp(Edit1->text()) : std::string());
        chart.SetAxisLabelsVisible(VChartAxis::Bottom, CheckBox3->isChecked());
        chart.SetAxisLabelsVisible(VChartAxis::Left, CheckBox4->isChecked());
    }
    hide();
}

void TSeriesControlForm::Cancel() { hide(); }

bool TSeriesControlForm::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonDblClick) {
        if (watched == Edit3) {
            EditLegend();
            return true;
        }
        if (watched == OutterCPanel || watched == InnerCPanel) {
            EditColor();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace talvero::ui
