#include "ui/TMdlObjectsListForm.h"

#include <cmath>

#include <QAction>
#include <QEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QShowEvent>
#include <QSplitter>
#include <QTableWidget>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "kernel/NAbstractOutGate.h"
#include "kernel/NAbstractSource.h"
#include "kernel/NError.h"
#include "kernel/NElementSupport.h"
#include "kernel/NModel.h"
#include "kernel/NParameterRanges.h"
#include "modeler/VModeler.h"
#include "ui/TImageList.h"
#include "ui/TSetObjectParamForm.h"
#include "ui/UiDialogs.h"
#include "ui/UiText.h"

namespace talvero::ui {

namespace {

const char* const kPageCaptions[3] = {"Список объектов модели", "Список источников сигналов модели",
                                      "Список точек наблюдения модели"};

// Nodes and rows keep the kernel's own name bytes, so nothing is lost converting back.
constexpr int kNameRole = Qt::UserRole;

QTreeWidgetItem* NewNode(QTreeWidgetItem* parent, const std::string& name) {
    auto* node = new QTreeWidgetItem(parent, QStringList{FromCp(name)});
    node->setData(0, kNameRole, QByteArray::fromStdString(name));
    return node;
}

std::string NodeName(const QTreeWidgetItem* node) { return node->data(0, kNameRole).toByteArray().toStdString(); }

QTableWidgetItem* Cell(const QString& text) {
    auto* item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    return item;
}

// "[0; +∞)": the brackets say whether a bound is admitted.
QString RangeText(const NRange& range) {
    const auto bound = [](double v) {
        if (std::isinf(v)) return QString::fromUtf8(v < 0 ? "−∞" : "+∞");
        return FormatNumber(v);
    };
    return QString(range.LoOpen || std::isinf(range.Lo) ? '(' : '[') + bound(range.Lo) + QStringLiteral("; ") +
           bound(range.Hi) + QString(range.HiOpen || std::isinf(range.Hi) ? ')' : ']');
}

} // namespace

TMdlObjectsListForm::TMdlObjectsListForm(QWidget* parent) : QWidget(parent, Qt::Window) {
    setAttribute(Qt::WA_QuitOnClose, false);

    Toolbar = new QToolBar;
    Toolbar->setIconSize(QSize(16, 16));
    for (int page = 0; page < 3; ++page) {
        PageActions[page] = Toolbar->addAction(TImageList::PageIcon(page), QString::fromUtf8(kPageCaptions[page]));
        PageActions[page]->setToolTip(QString::fromUtf8(kPageCaptions[page]));
        connect(PageActions[page], &QAction::triggered, this, [this, page] { SetPage(page); });
    }

    ObjectTree = new QTreeWidget;
    ObjectTree->setHeaderHidden(true);
    ObjectTree->setColumnCount(1);
    ObjectTree->setSelectionMode(QAbstractItemView::SingleSelection);
    connect(ObjectTree, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* current, QTreeWidgetItem*) {
                if (current) FillGrid(current);
            });
    // A click on the node already current (the root after a show) fills the grid as well.
    connect(ObjectTree, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* node, int) { FillGrid(node); });

    ParameterGrid = new QTableWidget(1, 2);
    ParameterGrid->setHorizontalHeaderLabels({QString::fromUtf8("Параметр"), QString::fromUtf8("Значение")});
    ParameterGrid->verticalHeader()->hide();
    ParameterGrid->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    ParameterGrid->horizontalHeader()->setHighlightSections(false);
    ParameterGrid->setSelectionBehavior(QAbstractItemView::SelectRows);
    ParameterGrid->setSelectionMode(QAbstractItemView::SingleSelection);
    ParameterGrid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ParameterGrid->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // The columns follow the visible width, which changes with the scroll bar as well.
    ParameterGrid->viewport()->installEventFilter(this);
    connect(ParameterGrid, &QTableWidget::cellDoubleClicked, this, [this](int, int) { EditCurrentValue(); });
    Revert = new QAction(QString::fromUtf8("Вернуть значение из описания модели"), this);
    Revert->setEnabled(false);
    connect(Revert, &QAction::triggered, this, &TMdlObjectsListForm::RevertCurrentValue);
    ParameterGrid->addAction(Revert);
    ParameterGrid->setContextMenuPolicy(Qt::ActionsContextMenu);
    connect(ParameterGrid, &QTableWidget::currentCellChanged, this, [this] { UpdateRevert(); });
    // A row as high as the font plus a little.
    const QFontInfo font(ParameterGrid->font());
    const int fontPixels =
        font.pointSize() > 0 ? font.pointSize() * ParameterGrid->logicalDpiY() / 72 : font.pixelSize();
    ParameterGrid->verticalHeader()->setMinimumSectionSize(fontPixels + 5);
    ParameterGrid->verticalHeader()->setDefaultSectionSize(fontPixels + 5);

    Splitter = new QSplitter(Qt::Horizontal);
    Splitter->addWidget(ObjectTree);
    Splitter->addWidget(ParameterGrid);
    Splitter->setStretchFactor(0, 1);
    Splitter->setStretchFactor(1, 1);
    Splitter->setChildrenCollapsible(false);
    connect(Splitter, &QSplitter::splitterMoved, this, [this] { FitColumns(); });

    Close = new QPushButton(QString::fromUtf8("Закрыть"));
    connect(Close, &QPushButton::clicked, this, &QWidget::close);
    auto* bottom = new QHBoxLayout;
    auto* revertButton = new QToolButton;
    revertButton->setDefaultAction(Revert);
    bottom->addWidget(revertButton);
    bottom->addStretch(1);
    bottom->addWidget(Close);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 0, 4, 4);
    layout->addWidget(Toolbar);
    layout->addWidget(Splitter, 1);
    layout->addLayout(bottom);

    ValueForm = new TSetObjectParamForm(this);
    SetPage(0);
    resize(460, 360);
    ResetGrid();
    Dirty = false;
}

QAction* TMdlObjectsListForm::PageAction(int page) const {
    return page >= 0 && page < 3 ? PageActions[page] : nullptr;
}

void TMdlObjectsListForm::SetModel(NModel* model) {
    Model = model;
    if (isVisible()) Rebuild();
}

bool TMdlObjectsListForm::SetPage(int page) {
    if (page < 0 || page > 2) return false;
    setWindowTitle(QString::fromUtf8(kPageCaptions[page]));
    for (int p = 0; p < 3; ++p) PageActions[p]->setEnabled(p != page);
    Page = page;
    if (isVisible()) Rebuild();
    return true;
}

bool TMdlObjectsListForm::TakeDirty() {
    if (!Dirty) return false;
    Dirty = false;
    return true;
}

VWindowPlacement TMdlObjectsListForm::GetPlacement() const { return {y(), x(), width(), height()}; }

void TMdlObjectsListForm::SetPlacement(const VWindowPlacement& stored) {
    const VWindowPlacement placement = FitToScreen(stored);
    move(placement.Left, placement.Top);
    resize(placement.Width, placement.Height);
}

bool TMdlObjectsListForm::IsShown() const { return isVisible(); }

void TMdlObjectsListForm::Show() {
    show();
    raise();
    activateWindow();
}

void TMdlObjectsListForm::Rebuild() {
    Dirty = true;
    const QSignalBlocker block(ObjectTree);
    ObjectTree->clear();
    // A model whose load failed keeps its root but holds nothing of a description.
    if (!Model || (ModelLoaded && !ModelLoaded())) {
        ResetGrid();
        return;
    }
    auto* root = new QTreeWidgetItem(ObjectTree, QStringList{FromCp(Model->GetName())});
    ObjectTree->setCurrentItem(root);
    root->setExpanded(true);
    FillGrid(root);

    NStringList names;
    Model->GetComponentsList(names);
    for (const std::string& name : names) {
        NBasicDescription* component = Model->GetComponent(name.c_str());
        if (Page == 1 && !dynamic_cast<NAbstractSource*>(component)) continue;
        if (Page == 2 && !dynamic_cast<NAbstractOutGate*>(component)) continue;
        QTreeWidgetItem* node = NewNode(root, name);
        if (component) AddComponents(node, component);
    }
    root->setExpanded(true);
}

void TMdlObjectsListForm::AddComponents(QTreeWidgetItem* node, NBasicDescription* object) {
    NStringList names;
    object->GetComponentsList(names);
    for (const std::string& name : names) {
        QTreeWidgetItem* child = NewNode(node, name);
        if (NBasicDescription* component = object->GetComponent(name.c_str())) AddComponents(child, component);
    }
}

NBasicDescription* TMdlObjectsListForm::ResolveNode(QTreeWidgetItem* node) const {
    if (!Model || !node) return nullptr;
    std::vector<const QTreeWidgetItem*> chain;
    for (const QTreeWidgetItem* n = node; n->parent(); n = n->parent()) chain.push_back(n);
    // The path is resolved level by level, from the root's child down.
    NBasicDescription* object = Model;
    for (auto it = chain.rbegin(); it != chain.rend() && object; ++it)
        object = object->GetComponent(NodeName(*it).c_str());
    return object;
}

void TMdlObjectsListForm::ResetGrid() {
    ParameterGrid->clearContents();
    ParameterGrid->setRowCount(1);
    ParameterGrid->setItem(0, 0, Cell(QString()));
    ParameterGrid->setItem(0, 1, Cell(QString()));
}

void TMdlObjectsListForm::FillGrid(QTreeWidgetItem* node) {
    Dirty = true;
    ResetGrid();
    NBasicDescription* object = ResolveNode(node);
    if (!object) return;
    NStringList names;
    object->GetParametersList(names);
    for (const std::string& name : names) {
        const int row = ParameterGrid->rowCount() - 1;
        QTableWidgetItem* nameCell = Cell(FromCp(name));
        nameCell->setData(kNameRole, QByteArray::fromStdString(name));
        ParameterGrid->setItem(row, 0, nameCell);
        ParameterGrid->setItem(row, 1, Cell(FormatNumber(object->GetParameter(name.c_str()))));
        MarkRow(row);
        ParameterGrid->setRowCount(row + 2);
    }
    if (ParameterGrid->rowCount() > 1) ParameterGrid->setRowCount(ParameterGrid->rowCount() - 1);
    UpdateRevert();
}

std::string TMdlObjectsListForm::NodePath(const QTreeWidgetItem* node) const {
    std::string path;
    for (const QTreeWidgetItem* n = node; n && n->parent(); n = n->parent())
        path = path.empty() ? NodeName(n) : NodeName(n) + "." + path;
    return path;
}

bool TMdlObjectsListForm::IsRowChanged(int row) const {
    const QTableWidgetItem* nameCell = ParameterGrid->item(row, 0);
    if (!Modeler || !nameCell || nameCell->text().isEmpty()) return false;
    return Modeler->FindParameterOverride(NodePath(ObjectTree->currentItem()),
                                          nameCell->data(kNameRole).toByteArray().toStdString()) != nullptr;
}

void TMdlObjectsListForm::MarkRow(int row) {
    const QTableWidgetItem* nameCell = ParameterGrid->item(row, 0);
    const VParameterOverride* entry =
        Modeler && nameCell ? Modeler->FindParameterOverride(NodePath(ObjectTree->currentItem()),
                                                             nameCell->data(kNameRole).toByteArray().toStdString())
                            : nullptr;
    const QString tip =
        entry ? QString::fromUtf8("Изменено; в описании модели: ") + FormatNumber(entry->Original) : QString();
    for (int column = 0; column < 2; ++column) {
        QTableWidgetItem* cell = ParameterGrid->item(row, column);
        if (!cell) continue;
        QFont font = cell->font();
        font.setBold(entry != nullptr);
        cell->setFont(font);
        cell->setToolTip(tip);
    }
}

void TMdlObjectsListForm::UpdateRevert() { Revert->setEnabled(IsRowChanged(ParameterGrid->currentRow())); }

void TMdlObjectsListForm::RevertCurrentValue() {
    const int row = ParameterGrid->currentRow();
    if (!IsRowChanged(row)) return;
    QTreeWidgetItem* node = ObjectTree->currentItem();
    const std::string name = ParameterGrid->item(row, 0)->data(kNameRole).toByteArray().toStdString();
    if (Modeler->RevertModelParameter(NodePath(node), name)) {
        if (NBasicDescription* object = ResolveNode(node))
            ParameterGrid->item(row, 1)->setText(FormatNumber(object->GetParameter(name.c_str())));
        emit ParameterEdited();
    } else {
        TakeLastError();
    }
    MarkRow(row);
    UpdateRevert();
}

void TMdlObjectsListForm::EditCurrentValue() {
    const int row = ParameterGrid->currentRow();
    if (row < 0) return;
    const QTableWidgetItem* nameCell = ParameterGrid->item(row, 0);
    const QTableWidgetItem* valueCell = ParameterGrid->item(row, 1);
    if (!nameCell || !valueCell) return;
    if (ParameterGrid->rowCount() == 1 && nameCell->text().isEmpty()) return;
    QTreeWidgetItem* node = ObjectTree->currentItem();
    NBasicDescription* object = node ? ResolveNode(node) : nullptr;
    if (!object) return;

    double oldValue = 0;
    if (!ParseNumber(valueCell->text(), oldValue)) return;
    double newValue = 0;
    if (!ValueForm->Execute(nameCell->text(), valueCell->text(), newValue)) return;
    if (newValue == oldValue) return;

    const std::string name = nameCell->data(kNameRole).toByteArray().toStdString();
    const bool set = Modeler ? Modeler->SetModelParameter(NodePath(node), name, newValue)
                             : object->SetParameter(name.c_str(), newValue);
    if (set) {
        ParameterGrid->item(row, 1)->setText(FormatNumber(newValue));
        MarkRow(row);
        UpdateRevert();
        emit ParameterEdited();
        return;
    }
    const NError error = TakeLastError();
    QString text = QString::fromUtf8("Ошибка ") + QString::number(error.GetCode()) + QStringLiteral(" - ") +
                   ErrorLevelText(error.GetLevel()) + QStringLiteral(" :") + FromCp(error.GetMessage());
    NRange range;
    if (FindParameterRange(*object, name.c_str(), range))
        text += QString::fromUtf8("\nДопустимые значения: ") + RangeText(range);
    ShowMessageBox(this, QString::fromUtf8("Ошибка!"), text);
}

void TMdlObjectsListForm::FitColumns() {
    const int width = ParameterGrid->viewport()->width();
    ParameterGrid->setColumnWidth(0, width * 65 / 100);
    ParameterGrid->setColumnWidth(1, width * 35 / 100 - 4);
}

void TMdlObjectsListForm::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (event->spontaneous()) return;
    Rebuild();
    ResetGrid();
    Dirty = true;
    FitColumns();
}

void TMdlObjectsListForm::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    if (event->spontaneous()) return;
    Model = nullptr;
    Rebuild();
    Dirty = true;
}

void TMdlObjectsListForm::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    Dirty = true;
}

bool TMdlObjectsListForm::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ParameterGrid->viewport() && event->type() == QEvent::Resize) FitColumns();
    return QWidget::eventFilter(watched, event);
}

} // namespace talvero::ui
