#pragma once
// The "Схема модели" window: the current model's objects and links laid out by Graphviz and shown
// in a zoomable, pannable view. A click on an object selects it in the objects list.

#include <functional>
#include <memory>
#include <vector>

#include <QGraphicsView>
#include <QRectF>
#include <QWidget>

#include "diagram/NModelDiagram.h"

class QAction;
class QGraphicsRectItem;
class QGraphicsScene;
class QLabel;
class QSvgRenderer;
class QToolBar;

namespace talvero {
class NEnvironment;
class NModel;
} // namespace talvero

namespace talvero::ui {

class TMdlObjectsListForm;

// The view: wheel zooms, dragging pans, a click (no drag) or a hover asks the window what is there.
class TDiagramView : public QGraphicsView {
    Q_OBJECT
public:
    explicit TDiagramView(QWidget* parent = nullptr);
    void Zoom(double factor);

    // The hover text at a scene point; empty for none.
    std::function<QString(QPointF)> ToolTipText;

signals:
    void Clicked(QPointF scenePoint);

protected:
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    bool viewportEvent(QEvent* event) override;

private:
    QPoint PressPosition;
    bool Pressed = false;
};

class TModelDiagramForm : public QWidget {
    Q_OBJECT
public:
    // Objects plus links beyond which the window shows a note instead: Graphviz takes seconds for a
    // few thousand and minutes for tens of thousands, on the window's own thread.
    static constexpr std::size_t kMaxDrawnElements = 5000;

    TModelDiagramForm(QWidget* parent, TMdlObjectsListForm* objectsList);
    ~TModelDiagramForm() override;

    // The current model, or null when none is loaded; a visible window redraws at once.
    void SetModel(NEnvironment* environment, NModel* model);
    void Show();

    TDiagramView* View() const { return DiagramView; }
    QString Message() const;
    const NModelDiagram& Diagram() const { return Graph; }
    // Where an object stands in the scene (empty when it is not drawn).
    QRectF NodeRect(int index) const;
    // The object drawn at `scenePoint` (the innermost one), -1 for none.
    int NodeAt(QPointF scenePoint) const;
    // What a click on that object does: select it in the objects list with its parameters.
    void SelectNode(int index);
    // The hover text of the object at `scenePoint`; empty for none.
    QString ToolTipAt(QPointF scenePoint) const;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void Rebuild();
    void ShowMessage(const QString& text);

    NEnvironment* Environment = nullptr;
    NModel* Model = nullptr;
    bool Stale = true;

    TMdlObjectsListForm* ObjectsList;
    QToolBar* Toolbar;
    QLabel* MessageLabel;
    TDiagramView* DiagramView;
    QGraphicsScene* Scene;
    QGraphicsRectItem* Highlight = nullptr;
    std::unique_ptr<QSvgRenderer> Renderer;
    NModelDiagram Graph;
    std::vector<QRectF> NodeRects;
};

} // namespace talvero::ui
