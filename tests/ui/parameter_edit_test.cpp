// Values changed in the objects list of the running program: marked, revertible, refused with
// their admissible range, and the project becomes savable.

#include <gtest/gtest.h>

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>

#include "UiTestSupport.h"
#include "environment/NEnvironment.h"
#include "kernel/NModel.h"
#include "modeler/VModeler.h"
#include "ui/TMainForm.h"
#include "ui/TMdlObjectsListForm.h"
#include "ui/TSetObjectParamForm.h"
#include "ui/UiText.h"

namespace talvero::ui {
namespace {

using uitest::U;

TEST(ParameterEdit, ChangedValuesAreMarkedRevertibleAndRefusalsNameTheRange) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString source = folder.filePath(QStringLiteral("m.tv"));
    ASSERT_TRUE(uitest::WriteText(source, "Model m { Net n { Neuron a { IonUnit u1 { } } } }\n"));
    TMainForm form;
    VModeler& modeler = form.Modeler();
    ASSERT_TRUE(modeler.NewProject(ToPath(folder.path() + QLatin1Char('/')), "p.tvp"));
    const std::string binary = ToPath(folder.filePath(QStringLiteral("m.btv")));
    ASSERT_TRUE(modeler.GetEnvironment()->Compile(ToPath(source), binary));
    ASSERT_TRUE(modeler.GetEnvironment()->LoadModel(binary));
    form.Refresh();
    ASSERT_FALSE(form.Action(TCommand::SaveProject)->isEnabled());

    TMdlObjectsListForm& list = *form.ObjectsListForm();
    list.SetModel(modeler.GetEnvironment()->GetModel());
    list.Show();
    for (QTreeWidgetItemIterator it(list.Tree()); *it; ++it)
        if ((*it)->text(0) == QStringLiteral("u1")) list.Tree()->setCurrentItem(*it);
    QTableWidget& grid = *list.Grid();
    int row = -1;
    for (int r = 0; r < grid.rowCount(); ++r)
        if (grid.item(r, 0)->text() == QStringLiteral("MaxIntensity")) row = r;
    ASSERT_GE(row, 0);
    grid.setCurrentCell(row, 1);
    const QString described = grid.item(row, 1)->text();
    const auto edit = [&](const QString& typed) {
        uitest::DialogScript script;
        script.ThenOn<TSetObjectParamForm>([&](TSetObjectParamForm& f) {
            f.ValueEdit()->setText(typed);
            f.OkButton()->click();
        });
        uitest::DoubleClick(&grid, grid.visualItemRect(grid.item(row, 1)).center());
        return script.Boxes;
    };

    const auto refused = edit(QStringLiteral("2"));
    ASSERT_EQ(refused.size(), 1u);
    EXPECT_TRUE(refused[0].Text.endsWith(U("\nДопустимые значения: [-1; 1]"))) << refused[0].Text.toStdString();
    EXPECT_FALSE(list.IsRowChanged(row));

    EXPECT_TRUE(edit(QStringLiteral("0.5")).empty());
    EXPECT_TRUE(list.IsRowChanged(row));
    EXPECT_TRUE(grid.item(row, 1)->font().bold());
    EXPECT_TRUE(list.RevertAction()->isEnabled());
    EXPECT_TRUE(form.Action(TCommand::SaveProject)->isEnabled());

    list.RevertAction()->trigger();
    EXPECT_EQ(grid.item(row, 1)->text(), described);
    EXPECT_FALSE(grid.item(row, 1)->font().bold());
    EXPECT_FALSE(list.RevertAction()->isEnabled());
    modeler.CloseProject(false);
}

} // namespace
} // namespace talvero::ui
