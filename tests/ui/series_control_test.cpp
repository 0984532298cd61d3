// The series control dialog over a real watch window: the two lists, the moves, what Apply
// transfers and what Cancel leaves alone.

#include <gtest/gtest.h>

#include <memory>
#include <utility>
#include <vector>

#include <QCheckBox>
#include <QFrame>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QToolButton>

#include "UiTestSupport.h"
#include "kernel/NModel.h"
#include "modeler/WatchTestSupport.h"
#include "ui/TListInputForm.h"
#include "ui/TQtChart.h"
#include "ui/TSeriesControlForm.h"
#include "ui/TWatchWindowForm.h"

namespace talvero::ui {
namespace {

using testing::ScriptedGate;
using uitest::Cp;
using uitest::U;
using Points = std::vector<std::pair<double, double>>;

QStringList Rows(const QTableWidget* grid) {
    QStringList rows;
    for (int r = 0; r < grid->rowCount(); ++r) rows << (grid->item(r, 0) ? grid->item(r, 0)->text() : QString());
    return rows;
}

Points PointsOf(const VChartSeries& series) {
    Points p;
    for (int i = 0; i < series.GetCount(); ++i) p.emplace_back(series.GetX(i), series.GetY(i));
    return p;
}

class SeriesControl : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"a", "b", "c"}) {
            auto* gate = new ScriptedGate(&model, name);
            gate->Set({0, 0.0001, 0.0002, 0.0003}, {0, 1, 0, 1});
            ASSERT_TRUE(model.AddOutGate(gate));
            gates.push_back(gate);
        }
        frame().SetModel(&model);
        ASSERT_TRUE(frame().AddObservation("a", OutGateWatchData("A", 0, 255)));
        ASSERT_TRUE(frame().AddObservation("c", OutGateWatchData("C", 0, kChartAutoColor)));
        window.show();
    }
    TWatchFrame& frame() { return window.GetFrame(); }
    VChart& chart() { return frame().GetChart(); }
    void SelectObserved(int row) { dialog.StringGrid2->setCurrentCell(row, 0); }

    NModel model{"m"};
    std::vector<ScriptedGate*> gates;
    TListInputForm names;
    TSeriesControlForm dialog{nullptr, &names};
    TWatchWindowForm window{nullptr, {&names, {}, &dialog}};
};

TEST_F(SeriesControl, ShowsObservedRightOthersLeftAndApplyRecreatesEverySeries) {
    window.Button(1)->click();
    ASSERT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.windowTitle(), U("Добавление/удаление/настройка наблюдений"));
    EXPECT_EQ(dialog.Frame(), &frame());
    EXPECT_EQ(Rows(dialog.StringGrid2), (QStringList{"a", "c"}));
    EXPECT_EQ(Rows(dialog.StringGrid1), (QStringList{"b"}));
    EXPECT_EQ(dialog.StringGrid1->horizontalHeaderItem(0)->text(), U("Доступные точки съёма данных"));
    EXPECT_EQ(dialog.StringGrid2->horizontalHeaderItem(0)->text(), U("Наблюдаемые точки съёма данных"));
    // The first observed row is selected and shown.
    EXPECT_TRUE(dialog.GroupBox1->isEnabled());
    EXPECT_EQ(dialog.Edit3->text(), QStringLiteral("A"));
    EXPECT_EQ(dialog.Edit4->text(), QStringLiteral("0"));
    for (QPushButton* b : {dialog.Button1, dialog.Button2, dialog.Button3, dialog.Button4}) EXPECT_TRUE(b->isEnabled());

    // A second opening, from any window, is ignored.
    TWatchWindowForm other{nullptr, {&names, {}, &dialog}};
    other.ShowSeriesControl();
    EXPECT_EQ(dialog.Frame(), &frame());

    dialog.StringGrid1->setCurrentCell(0, 0);
    dialog.Button2->click();
    EXPECT_EQ(Rows(dialog.StringGrid2), (QStringList{"a", "b", "c"}));
    EXPECT_EQ(Rows(dialog.StringGrid1), (QStringList{""}));
    EXPECT_FALSE(dialog.Button1->isEnabled());
    EXPECT_FALSE(dialog.Button2->isEnabled());
    EXPECT_TRUE(dialog.ObservationsChanged);

    gates[0]->Append(0.0004, 0);  // recreated series take what the gates hold now
    dialog.BitBtn1->click();
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.Frame(), nullptr);
    EXPECT_TRUE(dialog.GetObserved().empty());
    ASSERT_EQ(chart().GetSeriesCount(), 3);
    EXPECT_EQ(chart().GetSeries(0)->GetTitle(), "A");
    EXPECT_EQ(chart().GetSeries(1)->GetTitle(), "b");
    EXPECT_EQ(chart().GetSeries(1)->GetColor(), kChartAutoColor);
    EXPECT_EQ(chart().GetSeries(2)->GetTitle(), "C");
    EXPECT_EQ(chart().GetSeries(0)->GetCount(), 5);
    EXPECT_EQ(frame().GetWatchData().size(), 3u);

    // Double clicks move too.
    window.ShowSeriesControl();
    const QRect cell = dialog.StringGrid2->visualItemRect(dialog.StringGrid2->item(1, 0));
    QTest::mouseClick(dialog.StringGrid2->viewport(), Qt::LeftButton, {}, cell.center());
    QTest::mouseDClick(dialog.StringGrid2->viewport(), Qt::LeftButton, {}, cell.center());
    EXPECT_EQ(Rows(dialog.StringGrid1), (QStringList{"b"}));
    dialog.Cancel();
}

TEST_F(SeriesControl, AnEmptyModelShowsTwoEmptyListsAndNothingToDo) {
    NModel empty("e");
    TWatchWindowForm bare{nullptr, {&names, {}, &dialog}};
    bare.GetFrame().SetModel(&empty);
    bare.ShowSeriesControl();
    ASSERT_TRUE(dialog.isVisible());
    EXPECT_EQ(Rows(dialog.StringGrid1), (QStringList{""}));
    EXPECT_EQ(Rows(dialog.StringGrid2), (QStringList{""}));
    for (QPushButton* b : {dialog.Button1, dialog.Button2, dialog.Button3, dialog.Button4}) EXPECT_FALSE(b->isEnabled());
    EXPECT_FALSE(dialog.GroupBox1->isEnabled());
    EXPECT_TRUE(dialog.Edit4->text().isEmpty());
    // Moves without a selection do nothing.
    dialog.MoveSelected();
    dialog.ReturnSelected();
    EXPECT_FALSE(dialog.ObservationsChanged);
    dialog.BitBtn1->click();
    EXPECT_EQ(bare.GetFrame().GetChart().GetSeriesCount(), 0);
}

TEST_F(SeriesControl, AColourOnlyApplyKeepsEveryPoint) {
    const Points before = PointsOf(*chart().GetSeries(0));
    // What the gate holds now is not what the series shows: recreating would be visible.
    gates[0]->Set({}, {});
    dialog.SetColorChooser([](QColor& color) {
        color = QColor(10, 20, 30);
        return true;
    });
    window.ShowSeriesControl();
    SelectObserved(0);
    QTest::mouseDClick(dialog.InnerCPanel, Qt::LeftButton);
    EXPECT_TRUE(dialog.ColorsChanged);
    EXPECT_FALSE(dialog.ObservationsChanged);
    EXPECT_EQ(dialog.InnerCPanel->palette().color(QPalette::Window), QColor(10, 20, 30));
    dialog.BitBtn1->click();

    ASSERT_EQ(chart().GetSeriesCount(), 2);
    EXPECT_EQ(PointsOf(*chart().GetSeries(0)), before);
    EXPECT_EQ(chart().GetSeries(0)->GetColor(), 0x001E140A);
    EXPECT_EQ(frame().GetWatchData().at("a")->Color, 0x001E140A);
    EXPECT_EQ(static_cast<TQtChart&>(chart()).GetQtSeries(0)->DrawnColor(), QColor(10, 20, 30));
}

TEST_F(SeriesControl, AShiftApplyRecreatesAndShiftsTheWholeSeries) {
    gates[2]->Append(0.0004, 1);
    window.ShowSeriesControl();
    SelectObserved(1);
    ASSERT_EQ(dialog.Edit3->text(), QStringLiteral("C"));
    dialog.Edit4->setFocus();
    dialog.Edit4->selectAll();
    QTest::keyClicks(dialog.Edit4, QStringLiteral("1"));
    QTest::keyClick(dialog.Edit4, Qt::Key_Return);
    EXPECT_TRUE(dialog.ObservationsChanged);
    dialog.BitBtn1->click();

    ASSERT_EQ(chart().GetSeriesCount(), 2);
    EXPECT_EQ(PointsOf(*chart().GetSeries(1)), (Points{{0, 1}, {0.0001, 2}, {0.0002, 1}, {0.0003, 2}, {0.0004, 2}}));
    EXPECT_EQ(frame().GetWatchData().at("c")->YShift, 1);
    EXPECT_EQ(PointsOf(*chart().GetSeries(0)), (Points{{0, 0}, {0.0001, 1}, {0.0002, 0}, {0.0003, 1}}));
}

TEST_F(SeriesControl, AShiftThatIsNotANumberIsRefusedAndChangesNothing) {
    uitest::DialogScript script;
    window.ShowSeriesControl();
    SelectObserved(0);
    dialog.Edit4->setText(QStringLiteral("one"));
    dialog.ShiftEdited();
    ASSERT_EQ(script.Boxes.size(), 1u);
    EXPECT_TRUE(script.Boxes[0].Text.contains(QStringLiteral("one")));
    EXPECT_EQ(dialog.Edit4->text(), QStringLiteral("0"));
    EXPECT_FALSE(dialog.ObservationsChanged);
    EXPECT_EQ(dialog.GetObserved().at("a")->YShift, 0);
    dialog.Cancel();
}

TEST_F(SeriesControl, CancelKeepsTheFramesSeries) {
    const Points a = PointsOf(*chart().GetSeries(0));
    window.ShowSeriesControl();
    dialog.Button4->click();
    EXPECT_EQ(Rows(dialog.StringGrid1), (QStringList{"a", "b", "c"}));
    EXPECT_FALSE(dialog.GroupBox1->isEnabled());
    dialog.BitBtn2->click();
    EXPECT_FALSE(dialog.isVisible());
    ASSERT_EQ(chart().GetSeriesCount(), 2);
    EXPECT_EQ(PointsOf(*chart().GetSeries(0)), a);
    EXPECT_EQ(frame().GetWatchData().size(), 2u);
}

TEST_F(SeriesControl, TheLegendBoxActsAtOnceEvenWhenCancelled) {
    window.ShowSeriesControl();
    ASSERT_TRUE(dialog.CheckBox5->isChecked());
    EXPECT_FALSE(chart().IsLegendVisible());
    dialog.CheckBox5->click();
    EXPECT_TRUE(chart().IsLegendVisible());
    dialog.BitBtn2->click();
    EXPECT_TRUE(chart().IsLegendVisible());
    // The box keeps its state for the next opening.
    window.ShowSeriesControl();
    EXPECT_FALSE(dialog.CheckBox5->isChecked());
    dialog.CheckBox5->click();
    EXPECT_FALSE(chart().IsLegendVisible());
    dialog.Cancel();
}

TEST_F(SeriesControl, TheAxisTitleBoxEnablesItsFieldAndApplySetsTheTitle) {
    chart().SetAxisTitle(VChartAxis::Left, "mV");
    chart().SetAxisLabelsVisible(VChartAxis::Left, false);
    window.ShowSeriesControl();
    EXPECT_FALSE(dialog.CheckBox1->isChecked());
    EXPECT_FALSE(dialog.Edit1->isEnabled());
    EXPECT_TRUE(dialog.CheckBox2->isChecked());
    EXPECT_EQ(dialog.Edit2->text(), QStringLiteral("mV"));
    EXPECT_TRUE(dialog.CheckBox3->isChecked());
    EXPECT_FALSE(dialog.CheckBox4->isChecked());

    dialog.CheckBox1->click();
    EXPECT_TRUE(dialog.Edit1->isEnabled());
    QTest::keyClicks(dialog.Edit1, QStringLiteral("t"));
    EXPECT_TRUE(dialog.AxesChanged);
    dialog.Edit1->setText(U("Время, с"));
    dialog.CheckBox2->click();  // the left title goes
    EXPECT_FALSE(dialog.Edit2->isEnabled());
    dialog.CheckBox3->click();
    EXPECT_TRUE(dialog.AxesChanged);
    dialog.BitBtn1->click();

    EXPECT_EQ(chart().GetAxisTitle(VChartAxis::Bottom), Cp("Время, с"));
    EXPECT_EQ(chart().GetAxisTitle(VChartAxis::Left), "");
    EXPECT_FALSE(chart().AreAxisLabelsVisible(VChartAxis::Bottom));
    EXPECT_FALSE(chart().AreAxisLabelsVisible(VChartAxis::Left));
    EXPECT_EQ(chart().GetSeriesCount(), 2);  // nothing else was touched
    // What the watch info file keeps changed: the window says so.
    EXPECT_TRUE(window.IsChanged());
}

TEST_F(SeriesControl, ALegendIsEditedThroughTheNameInputDialog) {
    uitest::DialogScript script;
    window.ShowSeriesControl();
    SelectObserved(1);
    // The other record's legend is refused; a new one is taken.
    script.ThenOn<TListInputForm>([](TListInputForm& input) {
        EXPECT_EQ(input.windowTitle(), U("Подпись для c"));
        EXPECT_EQ(input.List()->rowCount(), 3);  // A, C, then b
        input.Entry()->setText(QStringLiteral("A"));
        input.OkButton()->click();
        EXPECT_TRUE(input.IsRefusalShown());
    });
    QTest::mouseDClick(dialog.Edit3, Qt::LeftButton);
    EXPECT_EQ(dialog.Edit3->text(), QStringLiteral("C"));
    EXPECT_FALSE(dialog.LegendsChanged);

    script.ThenOn<TListInputForm>([](TListInputForm& input) {
        input.Entry()->setText(U("Мышца"));
        input.OkButton()->click();
    });
    QTest::mouseDClick(dialog.Edit3, Qt::LeftButton);
    EXPECT_EQ(dialog.Edit3->text(), U("Мышца"));
    EXPECT_TRUE(dialog.LegendsChanged);
    const Points c = PointsOf(*chart().GetSeries(1));
    dialog.BitBtn1->click();
    EXPECT_EQ(chart().GetSeries(1)->GetTitle(), Cp("Мышца"));
    EXPECT_EQ(PointsOf(*chart().GetSeries(1)), c);
    EXPECT_EQ(frame().GetWatchData().at("c")->Legend, Cp("Мышца"));
}

TEST_F(SeriesControl, ADialogOpenForAWindowThatGoesAwayClosesWithoutApplying) {
    auto doomed = std::make_unique<TWatchWindowForm>(nullptr, TWatchWindowServices{&names, {}, &dialog});
    doomed->GetFrame().SetModel(&model);
    doomed->ShowSeriesControl();
    ASSERT_TRUE(dialog.isVisible());
    dialog.Button1->click();
    doomed.reset();
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.Frame(), nullptr);
    EXPECT_TRUE(dialog.GetObserved().empty());
    // Another window may open it now.
    window.ShowSeriesControl();
    EXPECT_EQ(dialog.Frame(), &frame());
    dialog.Cancel();
}

} // namespace
} // namespace talvero::ui

namespace talvero::ui {
namespace {

TEST_F(SeriesControl, ANewObservationShowsTheColourItWillBeDrawnIn) {
    window.ShowSeriesControl();
    dialog.StringGrid1->setCurrentCell(0, 0);
    dialog.Button2->click();  // b joins a and c
    SelectObserved(1);
    ASSERT_EQ(dialog.Edit3->text(), QStringLiteral("b"));
    const QColor shown = dialog.InnerCPanel->palette().color(QPalette::Window);
    SelectObserved(2);
    const QColor shownC = dialog.InnerCPanel->palette().color(QPalette::Window);
    dialog.BitBtn1->click();
    auto& qt = dynamic_cast<TQtChart&>(chart());
    EXPECT_EQ(qt.GetQtSeries(1)->DrawnColor(), shown);
    EXPECT_EQ(qt.GetQtSeries(2)->DrawnColor(), shownC);
}

} // namespace
} // namespace talvero::ui
