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
class VModeler;
}

namespace talvero::ui {

class TSetObjectParamForm;

class TMdlObjectsListForm : public QWidget, public VObjectsListWindow {
    Q_OBJECT
public:
    explicit TMdlObjectsListForm(QWidget* parent = nullptr);

    // Edits then go through the controller, which keeps them with the project and knows the
    // description's values; without one they reach the model only.
    void SetModeler(VModeler* modeler) { Modeler = modeler; }
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
    // Puts the current row's parameter back to the value of the model's description.
    void RevertCurrentValue();
    QAction* RevertAction() const { return Revert; }
    // Whether the row shows a value that differs from the model's description.
    bool IsRowChanged(int row) const;

signals:
    // A value was changed or reverted: the project is modified.
    void ParameterEdited();

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
    // The dotted path of a node's object; empty for the root.
    std::string NodePath(const QTreeWidgetItem* node) const;
    // Marks the row when its value differs from the description and updates the revert command.
    void MarkRow(int row);
    void UpdateRevert();

    NModel* Model = nullptr;
    std::function<bool()> ModelLoaded;
    VModeler* Modeler = nullptr;
    int Page = 0;
    bool Dirty = false;

    QToolBar* Toolbar;
    QAction* PageActions[3];
    QSplitter* Splitter;
    QTreeWidget* ObjectTree;
    QTableWidget* ParameterGrid;
    QPushButton* Close;
    TSetObjectParamForm* ValueForm;
    QAction* Revert;
};

} // namespace talvero::ui
