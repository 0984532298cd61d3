#pragma once
// The model objects list window: the model as a tree of named objects and, for the selected
// object, its parameters in a two-column grid, where a value can be changed. Three pages: all
// objects, signal sources, observation points.

#include <functional>

#include <QWidget>

#include "modeler/VUiInterfaces.h"

class QAction;
class QPushButton;
class QSplitter;
class QTableWidget;
class QToolBar;
class QTreeWidget;
class QTreeWidgetItem;

namespace talvero {
class NModel;
}

namespace talvero::ui {

class TSetObjectParamForm;

class TMdlObjectsListForm : public QWidget, public VObjectsListWindow {
    Q_OBJECT
public:
    explicit TMdlObjectsListForm(QWidget* parent = nullptr);

    void SetModel(NModel* model) override;
    // Whether the model holds a loaded description; without one the list shows no model.
    void SetModelLoadedQuery(std::function<bool()> query) { ModelLoaded = std::move(query); }
    NModel* GetModel() const { return Model; }
    bool SetPage(int page) override;
    int GetPage() const override { return Page; }
    bool TakeDirty() override;
    VWindowPlacement GetPlacement() const override;
    void SetPlacement(const VWindowPlacement& placement) override;
    bool IsShown() const override;
    void Show() override;

    QTreeWidget* Tree() const { return ObjectTree; }
    QTableWidget* Grid() const { return ParameterGrid; }
    QToolBar* PageBar() const { return Toolbar; }
    QAction* PageAction(int page) const;
    QPushButton* CloseButton() const { return Close; }
    TSetObjectParamForm* ValueDialog() const { return ValueForm; }

    // Fills the grid with the parameters of the object behind `node`.
    void FillGrid(QTreeWidgetItem* node);
    // The value edit of the grid's current row (what a double click on the grid does).
    void EditCurrentValue();
    // The object behind a node: the model for the root, else the object at the node's path.
    NBasicDescription* ResolveNode(QTreeWidgetItem* node) const;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Rebuild();
    void AddComponents(QTreeWidgetItem* node, NBasicDescription* object);
    void ResetGrid();
    void FitColumns();

    NModel* Model = nullptr;
    std::function<bool()> ModelLoaded;
    int Page = 0;
    bool Dirty = false;

    QToolBar* Toolbar;
    QAction* PageActions[3];
    QSplitter* Splitter;
    QTreeWidget* ObjectTree;
    QTableWidget* ParameterGrid;
    QPushButton* Close;
    TSetObjectParamForm* ValueForm;
};

} // namespace talvero::ui
