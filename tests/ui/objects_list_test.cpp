// The model objects list: pages with their captions and toolbar, the tree per page, the grid,
// and the value edit with an accepted, an unchanged and a refused value.

#include <gtest/gtest.h>

#include <QAction>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>

#include "UiTestSupport.h"
#include "environment/NBuiltinClasses.h"
#include "environment/NEnvironment.h"
#include "kernel/NModel.h"
#include "ui/TMdlObjectsListForm.h"
#include "ui/TSetObjectParamForm.h"
#include "ui/UiText.h"

namespace talvero::ui {
namespace {

using uitest::U;

// A source and an out gate directly in the model, and a source inside the net.
const char* const kNestedModel =
    "Model m {\n"
    "  Net n {\n"
    "    Generator inner { }\n"
    "    Neuron a { }\n"
    "  }\n"
    "  Generator outer { parameter Frequency = 20; }\n"
    "  TimeWatch w { }\n"
    "}\n";

class ObjectsListTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder.isValid());
        const QString source = folder.filePath(QStringLiteral("m.tv"));
        const QString binary = folder.filePath(QStringLiteral("m.btv"));
        ASSERT_TRUE(uitest::WriteText(source, kNestedModel));
        RegisterBuiltinClasses(environment);
        ASSERT_TRUE(environment.Compile(ToPath(source), ToPath(binary)));
        ASSERT_TRUE(environment.LoadModel(ToPath(binary)));
        model = environment.GetModel();
    }
    void TearDown() override { list.hide(); }

    QStringList TopNodes() const {
        QStringList names;
        const QTreeWidgetItem* root = list.Tree()->topLevelItem(0);
        for (int i = 0; root && i < root->childCount(); ++i) names << root->child(i)->text(0);
        return names;
    }
    QTreeWidgetItem* Node(const QString& text) const {
        for (QTreeWidgetItemIterator it(list.Tree()); *it; ++it)
            if ((*it)->text(0) == text) return *it;
        return nullptr;
    }
    QStringList Column(int column) const {
        QStringList cells;
        for (int r = 0; r < list.Grid()->rowCount(); ++r)
            cells << (list.Grid()->item(r, column) ? list.Grid()->item(r, column)->text() : QStringLiteral("<null>"));
        return cells;
    }
    int RowOf(const QString& name) const { return static_cast<int>(Column(0).indexOf(name)); }
    void Open(int page) {
        list.SetModel(model);
        ASSERT_TRUE(list.SetPage(page));
        list.Show();
    }
    void Click(const QString& node) {
        QTreeWidgetItem* item = Node(node);
        ASSERT_NE(item, nullptr) << node.toStdString();
        list.Tree()->setCurrentItem(item);
    }
    // Double-clicks the value cell of the parameter; the value dialog gets `typed`.
    void EditValue(const QString& parameter, const QString& typed) {
        uitest::DialogScript script;
        script.ThenOn<TSetObjectParamForm>([&](TSetObjectParamForm& f) {
            EXPECT_EQ(f.NameLabel()->text(), parameter);
            f.ValueEdit()->setText(typed);
            f.OkButton()->click();
        });
        const int row = RowOf(parameter);
        ASSERT_GE(row, 0);
        QTableWidget* grid = list.Grid();
        const QRect cell = grid->visualItemRect(grid->item(row, 1));
        uitest::DoubleClick(grid, cell.center());
        boxes = script.Boxes;
    }

    QTemporaryDir folder;
    NEnvironment environment;
    NModel* model = nullptr;
    TMdlObjectsListForm list;
    std::vector<uitest::DialogScript::Box> boxes;
};

TEST_F(ObjectsListTest, PagesSetCaptionAndToolbar) {
    const char* captions[3] = {"Список объектов модели", "Список источников сигналов модели",
                               "Список точек наблюдения модели"};
    for (int page = 0; page < 3; ++page) {
        ASSERT_TRUE(list.SetPage(page));
        EXPECT_EQ(list.GetPage(), page);
        EXPECT_EQ(list.windowTitle(), U(captions[page]));
        for (int button = 0; button < 3; ++button) {
            EXPECT_EQ(list.PageAction(button)->toolTip(), U(captions[button]));
            EXPECT_EQ(list.PageAction(button)->isEnabled(), button != page);
        }
    }
    EXPECT_EQ(list.CloseButton()->text(), U("Закрыть"));
    EXPECT_EQ(list.Grid()->horizontalHeaderItem(0)->text(), U("Параметр"));
    EXPECT_EQ(list.Grid()->horizontalHeaderItem(1)->text(), U("Значение"));
}

TEST_F(ObjectsListTest, AnInvalidPageChangesNothing) {
    Open(1);
    const QStringList nodes = TopNodes();
    EXPECT_FALSE(list.SetPage(3));
    EXPECT_FALSE(list.SetPage(-1));
    EXPECT_EQ(list.GetPage(), 1);
    EXPECT_EQ(list.windowTitle(), U("Список источников сигналов модели"));
    EXPECT_FALSE(list.PageAction(1)->isEnabled());
    EXPECT_EQ(TopNodes(), nodes);
}

TEST_F(ObjectsListTest, TheTreeOfEachPage) {
    Open(0);
    ASSERT_EQ(list.Tree()->topLevelItemCount(), 1);
    EXPECT_EQ(list.Tree()->topLevelItem(0)->text(0), QStringLiteral("m"));
    EXPECT_TRUE(list.Tree()->topLevelItem(0)->isExpanded());
    NStringList names;
    model->GetComponentsList(names);
    EXPECT_EQ(TopNodes(), FromCpLines(names));
    ASSERT_NE(Node(QStringLiteral("LTZone")), nullptr);  // the whole subtree
    EXPECT_EQ(Node(QStringLiteral("LTZone"))->parent()->text(0), QStringLiteral("a"));

    // Only direct components of the model: the generator inside the net is no candidate.
    list.SetPage(1);
    EXPECT_EQ(TopNodes(), QStringList{QStringLiteral("outer")});
    list.SetPage(2);
    EXPECT_EQ(TopNodes(), QStringList{QStringLiteral("w")});
    ASSERT_NE(Node(QStringLiteral("input")), nullptr);
    EXPECT_EQ(Node(QStringLiteral("input"))->parent()->text(0), QStringLiteral("w"));
}

TEST_F(ObjectsListTest, TheGridListsTheParametersOfTheClickedNode) {
    Open(0);
    // Shown: one empty row until a node is clicked.
    EXPECT_EQ(Column(0), QStringList{QString()});
    Click(QStringLiteral("outer"));
    EXPECT_EQ(Column(0), (QStringList{QStringLiteral("StartTime"), QStringLiteral("StopTime"), QStringLiteral("Frequency")}));
    EXPECT_EQ(Column(1), (QStringList{QStringLiteral("0"), QStringLiteral("0"), QStringLiteral("20")}));

    // An object without parameters: one empty row.
    Click(QStringLiteral("n"));
    EXPECT_EQ(Column(0), QStringList{QString()});
    EXPECT_EQ(Column(1), QStringList{QString()});

    // A nested object is found by its path.
    Click(QStringLiteral("LTZone"));
    EXPECT_EQ(RowOf(QStringLiteral("PT1")), 0);
    EXPECT_EQ(Column(1)[0], QStringLiteral("0.05"));
}

TEST_F(ObjectsListTest, AcceptedValueGoesIntoTheObjectAndTheCell) {
    Open(0);
    Click(QStringLiteral("outer"));
    EditValue(QStringLiteral("Frequency"), QStringLiteral("30"));
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(model->GetComponent("outer")->GetParameter("Frequency"), 30);
    EXPECT_EQ(Column(1)[RowOf(QStringLiteral("Frequency"))], QStringLiteral("30"));
}

TEST_F(ObjectsListTest, TheSameValueCallsNothingInTheKernel) {
    Open(0);
    Click(QStringLiteral("outer"));
    // Behind the grid's back: the cell still says 20.
    ASSERT_TRUE(model->GetComponent("outer")->SetParameter("Frequency", 25));
    EditValue(QStringLiteral("Frequency"), QStringLiteral("20"));
    EXPECT_EQ(model->GetComponent("outer")->GetParameter("Frequency"), 25);
}

TEST_F(ObjectsListTest, ARefusedValueShowsTheKernelErrorAndKeepsTheCell) {
    Open(0);
    Click(QStringLiteral("outer"));
    EditValue(QStringLiteral("Frequency"), QStringLiteral("-5"));
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].Caption, U("Ошибка!"));
    EXPECT_EQ(boxes[0].Text, U("Ошибка 21 - ядро :Недопустимое значение параметра"));
    EXPECT_EQ(Column(1)[RowOf(QStringLiteral("Frequency"))], QStringLiteral("20"));
    EXPECT_EQ(model->GetComponent("outer")->GetParameter("Frequency"), 20);
}

TEST_F(ObjectsListTest, WithoutModelTheTreeIsEmptyAndADoubleClickDoesNothing) {
    list.SetModel(nullptr);
    list.Show();
    EXPECT_EQ(list.Tree()->topLevelItemCount(), 0);
    // No dialog may come (an unscripted one fails the test).
    QTableWidget* grid = list.Grid();
    uitest::DoubleClick(grid, grid->visualItemRect(grid->item(0, 1)).center());
    list.EditCurrentValue();
}

TEST_F(ObjectsListTest, AnEmptyRowOrNoSelectedNodeIgnoresTheEdit) {
    Open(0);
    Click(QStringLiteral("n"));
    list.Grid()->setCurrentCell(0, 1);
    list.EditCurrentValue();  // the one empty row
    Click(QStringLiteral("outer"));
    list.Tree()->setCurrentItem(nullptr);
    list.Grid()->setCurrentCell(0, 1);
    list.EditCurrentValue();  // no node
}

TEST_F(ObjectsListTest, HidingDropsTheModelAndEveryChangeMarksDirty) {
    list.TakeDirty();
    EXPECT_FALSE(list.TakeDirty());
    list.SetModel(model);
    EXPECT_FALSE(list.TakeDirty());  // hidden: nothing rebuilt
    list.Show();
    EXPECT_TRUE(list.TakeDirty());
    EXPECT_FALSE(list.TakeDirty());
    Click(QStringLiteral("outer"));
    EXPECT_TRUE(list.TakeDirty());
    list.resize(list.width() + 20, list.height());
    EXPECT_TRUE(list.TakeDirty());
    list.close();
    EXPECT_TRUE(list.TakeDirty());
    EXPECT_EQ(list.GetModel(), nullptr);
    EXPECT_EQ(list.Tree()->topLevelItemCount(), 0);
}

TEST_F(ObjectsListTest, ColumnsShareTheGridWidth) {
    Open(0);
    list.resize(600, 400);
    QApplication::processEvents();
    const int width = list.Grid()->viewport()->width();
    EXPECT_EQ(list.Grid()->columnWidth(0), width * 65 / 100);
    EXPECT_EQ(list.Grid()->columnWidth(1), width * 35 / 100 - 4);
}

} // namespace
} // namespace talvero::ui
