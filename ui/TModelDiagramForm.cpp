#include "ui/TModelDiagramForm.h"

#include <QAction>
#include <QApplication>
#include <QGraphicsRectItem>
#include <QGraphicsScene>
#include <QGraphicsSvgItem>
#include <QHelpEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QShowEvent>
#include <QSvgRenderer>
#include <QToolBar>
#include <QToolTip>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QWheelEvent>

#include "diagram/NDiagramRender.h"
#include "environment/NEnvironment.h"
#include "kernel/NModel.h"
#include "ui/TMdlObjectsListForm.h"
#include "ui/UiText.h"

namespace talvero::ui {

namespace {

QString U(const char* utf8) { return QString::fromUtf8(utf8); }

// The tree node of the objects list that stands for `names` (the path's levels), or null.
QTreeWidgetItem* FindTreeNode(QTreeWidget* tree, const std::vector<std::string>& names) {
    QTreeWidgetItem* node = tree->topLevelItem(0);
    for (const std::string& name : names) {
        if (!node) return nullptr;
        QTreeWidgetItem* next = nullptr;
        for (int i = 0; i < node->childCount() && !next; ++i)
            if (node->child(i)->data(0, Qt::UserRole).toByteArray().toStdString() == name) next = node->child(i);
        node = next;
    }
    return node;
}

} // namespace

TDiagramView::TDiagramView(QWidget* parent) : QGraphicsView(parent) {
    setDragMode(QGraphicsView::ScrollHandDrag);
    setTransformationAnchor(QGraphicsView::AnchorUnderMouse);
    setRenderHint(QPainter::Antialiasing);
    setBackgroundBrush(Qt::white);
}

void TDiagramView::Zoom(double factor) {
    const double current = transform().m11();
    // Far enough to read one synapse of a large net, near enough to see the whole of it.
    if ((factor > 1 && current > 20) || (factor < 1 && current < 0.02)) return;
    scale(factor, factor);
}

void TDiagramView::wheelEvent(QWheelEvent* event) {
    const int delta = event->angleDelta().y();
    if (delta == 0) return QGraphicsView::wheelEvent(event);
    Zoom(delta > 0 ? 1.15 : 1 / 1.15);
    event->accept();
}

void TDiagramView::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        PressPosition = event->position().toPoint();
        Pressed = true;
    }
    QGraphicsView::mousePressEvent(event);
}

void TDiagramView::mouseReleaseEvent(QMouseEvent* event) {
    QGraphicsView::mouseReleaseEvent(event);
    if (event->button() != Qt::LeftButton || !Pressed) return;
    Pressed = false;
    // A drag pans; only a press and release in place is a click.
    if ((event->position().toPoint() - PressPosition).manhattanLength() < QApplication::startDragDistance())
        emit Clicked(mapToScene(PressPosition));
}

bool TDiagramView::viewportEvent(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const QString text = ToolTipText ? ToolTipText(mapToScene(help->pos())) : QString();
        if (text.isEmpty()) QToolTip::hideText();
        else QToolTip::showText(help->globalPos(), text, this);
        return true;
    }
    return QGraphicsView::viewportEvent(event);
}

TModelDiagramForm::TModelDiagramForm(QWidget* parent, TMdlObjectsListForm* objectsList)
    : QWidget(parent, Qt::Window), ObjectsList(objectsList) {
    setAttribute(Qt::WA_QuitOnClose, false);
    setWindowTitle(U("Схема модели"));
    // Beside the objects list's first place, so that a click's parameters stay in view.
    move(640, 260);
    resize(720, 560);

    Scene = new QGraphicsScene(this);
    DiagramView = new TDiagramView;
    DiagramView->setScene(Scene);
    DiagramView->ToolTipText = [this](QPointF point) { return ToolTipAt(point); };
    connect(DiagramView, &TDiagramView::Clicked, this, [this](QPointF point) {
        const int index = NodeAt(point);
        if (index >= 0) SelectNode(index);
    });

    Toolbar = new QToolBar;
    Toolbar->addAction(U("Увеличить"), this, [this] { DiagramView->Zoom(1.25); });
    Toolbar->addAction(U("Уменьшить"), this, [this] { DiagramView->Zoom(1 / 1.25); });
    Toolbar->addAction(U("По размеру окна"), this, [this] {
        if (!Scene->items().isEmpty()) DiagramView->fitInView(Scene->itemsBoundingRect(), Qt::KeepAspectRatio);
    });
    Toolbar->addAction(U("Обновить"), this, [this] { Rebuild(); });

    MessageLabel = new QLabel;
    MessageLabel->setAlignment(Qt::AlignCenter);
    MessageLabel->setWordWrap(true);
    MessageLabel->hide();

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(Toolbar);
    layout->addWidget(MessageLabel);
    layout->addWidget(DiagramView, 1);
}

TModelDiagramForm::~TModelDiagramForm() = default;

void TModelDiagramForm::SetModel(NEnvironment* environment, NModel* model) {
    Environment = environment;
    Model = model;
    Stale = true;
    if (isVisible()) Rebuild();
}

void TModelDiagramForm::Show() {
    show();
    raise();
    activateWindow();
}

void TModelDiagramForm::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // Parameters may have changed since (an ion unit turned inhibitory): draw afresh on showing.
    if (!event->spontaneous() || Stale) Rebuild();
}

QString TModelDiagramForm::Message() const { return MessageLabel->isHidden() ? QString() : MessageLabel->text(); }

void TModelDiagramForm::ShowMessage(const QString& text) {
    MessageLabel->setText(text);
    MessageLabel->setVisible(!text.isEmpty());
}

void TModelDiagramForm::Rebuild() {
    Stale = false;
    Scene->clear();
    Highlight = nullptr;
    NodeRects.clear();
    Graph = NModelDiagram{};
    if (!Environment || !Model) {
        Renderer.reset();
        ShowMessage(U("Модель не загружена"));
        return;
    }
    Graph = BuildModelDiagram(*Environment, *Model);
    if (Graph.Nodes.size() + Graph.Edges.size() > kMaxDrawnElements) {
        Renderer.reset();
        ShowMessage(U("Модель слишком велика для схемы в окне (объектов: %1, связей: %2). "
                      "Команда talvero-batch --graph выводит её схему целиком.")
                        .arg(Graph.Nodes.size())
                        .arg(Graph.Edges.size()));
        return;
    }
    NDiagramDotOptions options;
    options.ClassLine = false;
    std::string svg;
    std::string error;
    if (!RenderDiagram(WriteDiagramDot(Graph, options), "svg", svg, error)) {
        Renderer.reset();
        ShowMessage(U("Схема не построена: ") + QString::fromStdString(error));
        return;
    }
    ShowMessage({});
    Renderer = std::make_unique<QSvgRenderer>(QByteArray::fromStdString(svg));
    auto* picture = new QGraphicsSvgItem;
    picture->setSharedRenderer(Renderer.get());
    Scene->addItem(picture);
    Scene->setSceneRect(picture->boundingRect());

    // The item draws the view box into its default size; objects are found through Graphviz's ids.
    const QRectF box = Renderer->viewBoxF();
    const QSizeF size = Renderer->defaultSize();
    const double sx = box.width() > 0 ? size.width() / box.width() : 1;
    const double sy = box.height() > 0 ? size.height() / box.height() : 1;
    NodeRects.resize(Graph.Nodes.size());
    for (std::size_t i = 0; i < Graph.Nodes.size(); ++i) {
        const QString id = QString::fromStdString(DiagramNodeId(static_cast<int>(i)));
        if (!Renderer->elementExists(id)) continue;
        const QRectF r = Renderer->transformForElement(id).mapRect(Renderer->boundsOnElement(id));
        NodeRects[i] = QRectF((r.left() - box.left()) * sx, (r.top() - box.top()) * sy, r.width() * sx, r.height() * sy);
    }
    Highlight = Scene->addRect(QRectF(), QPen(QColor(0xd8, 0x1b, 0x60), 2.5));
    Highlight->setZValue(1);
    Highlight->hide();
}

QRectF TModelDiagramForm::NodeRect(int index) const {
    return index >= 0 && static_cast<std::size_t>(index) < NodeRects.size() ? NodeRects[static_cast<std::size_t>(index)]
                                                                              : QRectF();
}

int TModelDiagramForm::NodeAt(QPointF scenePoint) const {
    int best = -1;
    double bestArea = 0;
    for (std::size_t i = 0; i < NodeRects.size(); ++i) {
        const QRectF& r = NodeRects[i];
        if (r.isEmpty() || !r.contains(scenePoint)) continue;
        // Nets frame their objects: the smallest frame under the pointer is the object meant.
        const double area = r.width() * r.height();
        if (best < 0 || area < bestArea) {
            best = static_cast<int>(i);
            bestArea = area;
        }
    }
    return best;
}

QString TModelDiagramForm::ToolTipAt(QPointF scenePoint) const {
    const int index = NodeAt(scenePoint);
    if (index < 0) return {};
    const NDiagramNode& node = Graph.Nodes[static_cast<std::size_t>(index)];
    QString text = FromCp(node.Path);
    if (!node.ClassName.empty()) text += U(" — ") + QString::fromStdString(node.ClassName);
    if (node.Kind == NDiagramKind::InhibitoryUnit) text += U(" (тормозной)");
    return text;
}

void TModelDiagramForm::SelectNode(int index) {
    if (index < 0 || static_cast<std::size_t>(index) >= Graph.Nodes.size() || !Model || !ObjectsList) return;
    std::vector<std::string> names;
    for (int i = index; i >= 0; i = Graph.Nodes[static_cast<std::size_t>(i)].Parent)
        names.insert(names.begin(), Graph.Nodes[static_cast<std::size_t>(i)].Name);
    if (Highlight) {
        Highlight->setRect(NodeRect(index).adjusted(-2, -2, 2, 2));
        Highlight->show();
    }
    if (ObjectsList->GetModel() != Model) ObjectsList->SetModel(Model);
    if (!ObjectsList->IsShown()) ObjectsList->Show();
    QTreeWidgetItem* node = FindTreeNode(ObjectsList->Tree(), names);
    // The sources and watches pages hold only some objects; the first page holds them all.
    if (!node && ObjectsList->GetPage() != 0) {
        ObjectsList->SetPage(0);
        node = FindTreeNode(ObjectsList->Tree(), names);
    }
    if (!node) return;
    for (QTreeWidgetItem* up = node->parent(); up; up = up->parent()) up->setExpanded(true);
    ObjectsList->Tree()->setCurrentItem(node);
    ObjectsList->Tree()->scrollToItem(node);
    ObjectsList->FillGrid(node);
}

} // namespace talvero::ui
