// The watch window: its tool bar, its change mark, rename, pictures and CSV, and the watch
// window commands of the main window with the real controller from start to reopening.

#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QGuiApplication>
#include <QScreen>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QImage>
#include <QSvgRenderer>
#include <QToolButton>

#include "UiTestSupport.h"
#include "environment/NEnvironment.h"
#include "kernel/NModel.h"
#include "modeler/VIniFile.h"
#include "modeler/VModeler.h"
#include "modeler/WatchTestSupport.h"
#include "ui/TCreateProjectWizardForm.h"
#include "ui/TListInputForm.h"
#include "ui/TMainForm.h"
#include "ui/TQtChart.h"
#include "ui/TSeriesControlForm.h"
#include "ui/TWatchWindowForm.h"
#include "ui/UiText.h"

namespace talvero::ui {
namespace {

using testing::ScriptedGate;
using uitest::Cp;
using uitest::U;

// The file's text; empty when it cannot be read.
QString TextOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

TEST(WatchWindow, IsChangedByLayoutOrFrameAndClearsOnlyItsOwnMark) {
    NModel model("m");
    auto* gate = new ScriptedGate(&model, "g");
    ASSERT_TRUE(model.AddOutGate(gate));
    TWatchWindowForm window;
    window.GetFrame().SetModel(&model);
    window.SetPlacement({120, 40, 320, 240});
    window.show();
    EXPECT_TRUE(window.IsChanged());
    EXPECT_FALSE(window.IsChanged());

    window.GetFrame().AddObservation("g", OutGateWatchData("G", 0, 0));
    EXPECT_TRUE(window.IsChanged());
    EXPECT_FALSE(window.IsChanged());

    // A layout change answers alone; the frame's mark stays for the next question.
    window.GetFrame().ClearSeriesData();
    window.resize(330, 250);
    EXPECT_TRUE(window.LayoutChanged);
    EXPECT_TRUE(window.IsChanged());
    EXPECT_TRUE(window.IsChanged());
    EXPECT_FALSE(window.IsChanged());

    window.hide();
    EXPECT_TRUE(window.IsChanged());
    const VWindowPlacement placement = window.GetPlacement();
    EXPECT_EQ(placement.Width, 330);
    EXPECT_EQ(placement.Height, 250);
    window.SetWindowState(VWindowState::Maximized);
    EXPECT_EQ(window.GetWindowState(), VWindowState::Maximized);
    window.SetWindowState(VWindowState::Normal);
    EXPECT_EQ(window.GetWindowState(), VWindowState::Normal);
}

TEST(WatchWindow, RenameRefusesTheNameOfAnotherWindow) {
    uitest::DialogScript script;
    TListInputForm names;
    TWatchWindowForm window{nullptr, {&names, [] { return NStringList{Cp("Мышца"), Cp("Нейрон")}; }, nullptr}};
    window.SetCaption(Cp("Нейрон"));
    script.ThenOn<TListInputForm>([](TListInputForm& input) {
        EXPECT_EQ(input.windowTitle(), U("Список имен открытых окно наблюдения"));
        EXPECT_TRUE(input.Entry()->text().isEmpty());
        EXPECT_EQ(input.List()->rowCount(), 2);
        input.Entry()->setText(U("Мышца"));
        input.OkButton()->click();
        EXPECT_TRUE(input.IsRefusalShown());
        EXPECT_EQ(input.MessageLabel()->text(), U("Данное наименование уже существует. Пожалуйста введите другое."));
    });
    window.Button(2)->click();
    EXPECT_EQ(window.GetCaption(), Cp("Нейрон"));

    script.ThenOn<TListInputForm>([](TListInputForm& input) {
        input.Entry()->setText(U("Длина мышцы"));
        input.OkButton()->click();
    });
    window.LayoutChanged = false;
    window.Rename();
    EXPECT_EQ(window.GetCaption(), Cp("Длина мышцы"));
    // The caption is kept in the watch info file: the workspace has changed.
    EXPECT_TRUE(window.LayoutChanged);
}

class WatchPictures : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder.isValid());
        gate = new ScriptedGate(&model, "g");
        gate->Set({0, 0.001, 0.002, 0.003}, {0, 1, 0, 1});
        ASSERT_TRUE(model.AddOutGate(gate));
        window.GetFrame().SetModel(&model);
        window.resize(420, 300);
        window.show();
        QApplication::processEvents();
        ASSERT_TRUE(window.GetFrame().AddObservation("g", OutGateWatchData(Cp("Импульсы, \"g\""), 0.5, 255)));
    }
    QSize ChartSize() const { return window.Chart().View()->size(); }

    QTemporaryDir folder;
    NModel model{"m"};
    ScriptedGate* gate = nullptr;
    TWatchWindowForm window;
};

TEST_F(WatchPictures, ASavedPictureIsAnImageOfTheChartsSize) {
    const QString bmp = folder.filePath(QStringLiteral("chart.bmp"));
    ASSERT_TRUE(window.SavePictureTo(bmp));
    QFile file(bmp);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.read(2), QByteArray("BM"));
    const QImage image(bmp);
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), ChartSize());
    EXPECT_EQ(image.pixelColor(1, 1), QColor(Qt::white));
    // The red series is in the picture.
    bool red = false;
    for (int y = 0; y < image.height() && !red; ++y)
        for (int x = 0; x < image.width() && !red; ++x) red = image.pixelColor(x, y) == QColor(255, 0, 0);
    EXPECT_TRUE(red);

    const QString png = folder.filePath(QStringLiteral("chart.png"));
    ASSERT_TRUE(window.SavePictureTo(png));
    EXPECT_EQ(QImage(png).size(), ChartSize());
    const QString svg = folder.filePath(QStringLiteral("chart.svg"));
    ASSERT_TRUE(window.SavePictureTo(svg));
    QSvgRenderer renderer(svg);
    ASSERT_TRUE(renderer.isValid());
    EXPECT_EQ(renderer.viewBox().size(), ChartSize());

    EXPECT_FALSE(window.SavePictureTo(folder.filePath(QStringLiteral("missing/chart.bmp"))));
    EXPECT_FALSE(window.SavePictureTo(folder.filePath(QStringLiteral("missing/chart.svg"))));
    // The chart's own operation takes file names in the file system's bytes.
    EXPECT_TRUE(window.GetFrame().GetChart().SaveBitmap(ToPath(folder.filePath(U("график.bmp")))));
    EXPECT_EQ(QImage(folder.filePath(U("график.bmp"))).size(), ChartSize());
}

TEST_F(WatchPictures, ThePictureDialogSavesUnderTheChosenNameAndFormat) {
    uitest::DialogScript script;
    const QString chosen = folder.filePath(QStringLiteral("picked"));
    script.Then([&](QDialog& dialog) {
        auto* files = qobject_cast<QFileDialog*>(&dialog);
        EXPECT_NE(files, nullptr);
        if (!files) return static_cast<int>(QDialog::Rejected);
        EXPECT_EQ(files->nameFilters().front(), U("Графический файл (*.bmp)"));
        EXPECT_EQ(files->defaultSuffix(), QStringLiteral("bmp"));
        files->selectNameFilter(files->nameFilters().at(1));
        emit files->filterSelected(files->nameFilters().at(1));
        files->selectFile(chosen);
        static_cast<QDialog*>(files)->accept();
        return files->result();
    });
    // A bitmap is offered larger than the window.
    script.ThenOn<TPictureScaleDialog>([](TPictureScaleDialog& d) {
        ASSERT_EQ(d.Scales()->count(), 4);
        d.Scales()->setCurrentIndex(1);
        d.accept();
    });
    window.Button(4)->click();
    EXPECT_TRUE(script.Boxes.empty());
    const QImage picture(chosen + QStringLiteral(".png"), "PNG");
    EXPECT_EQ(picture.size(), ChartSize() * 2);
    int red = 0;
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x) red += picture.pixelColor(x, y).red() > 200 && picture.pixelColor(x, y).green() < 80;
    EXPECT_GT(red, picture.width());  // drawn at the larger size, not an empty canvas
}

// A stored 30000 x 30000 window took gigabytes; a new window opened over the main window's corner.
TEST(WatchWindow, StoredPlacementsFitTheScreenAndNewWindowsOpenBelowTheMainWindow) {
    const QRect free = QGuiApplication::primaryScreen()->availableGeometry();
    const struct {
        VWindowPlacement Stored;
    } cases[] = {{{0, 0, 30000, 30000}}, {{-5000, 90000, 300, 200}}, {{100, 100, -7, 0}}};
    for (const auto& c : cases) {
        TWatchWindowForm window;
        window.SetPlacement(c.Stored);
        const VWindowPlacement p = window.GetPlacement();
        EXPECT_TRUE(free.contains(QRect(p.Left, p.Top, p.Width, p.Height))) << p.Left << "," << p.Top << " " << p.Width << "x" << p.Height;
        EXPECT_GE(p.Width, 1);
    }
    TWatchWindowForm fits;
    fits.SetPlacement({100, 120, 300, 200});
    EXPECT_EQ(fits.GetPlacement(), (VWindowPlacement{100, 120, 300, 200}));

    QWidget main;
    main.setGeometry(205, 125, 400, 90);
    TWatchWindowFactory factory(&main, {});
    auto first = factory.CreateWatchWindow();
    auto second = factory.CreateWatchWindow();
    const VWindowPlacement a = first->GetPlacement();
    const VWindowPlacement b = second->GetPlacement();
    EXPECT_GE(a.Top, main.frameGeometry().bottom());
    EXPECT_EQ(a.Left, 205);
    EXPECT_GT(b.Top, a.Top);  // the next one is not hidden under the first
    EXPECT_GT(b.Left, a.Left);
}

TEST_F(WatchPictures, TheSeriesGoToCsvWithTheirLegends) {
    const QString csv = folder.filePath(QStringLiteral("series.csv"));
    ASSERT_TRUE(window.ExportSeriesTo(csv));
    EXPECT_EQ(TextOf(csv), U("series,x,y\n"
                             "\"Импульсы, \"\"g\"\"\",0,0.5\n"
                             "\"Импульсы, \"\"g\"\"\",0.001,1.5\n"
                             "\"Импульсы, \"\"g\"\"\",0.002,0.5\n"
                             "\"Импульсы, \"\"g\"\"\",0.003,1.5\n"));
    EXPECT_FALSE(window.ExportSeriesTo(folder.filePath(QStringLiteral("missing/series.csv"))));
}

// Once a long run's past is folded, the exports say which data are only its picture: the CSV
// marks the rows, the PNG and SVG files carry a description.
TEST_F(WatchPictures, ExportsSayWhenThePastIsThinned) {
    window.Chart().GetSeries(0)->ReplaceFront(2, {0, 0.001}, {0.5, 1.5});
    const QString csv = folder.filePath(QStringLiteral("series.csv"));
    ASSERT_TRUE(window.ExportSeriesTo(csv));
    EXPECT_EQ(TextOf(csv), U("series,x,y,kept\n"
                             "\"Импульсы, \"\"g\"\"\",0,0.5,thinned\n"
                             "\"Импульсы, \"\"g\"\"\",0.001,1.5,thinned\n"
                             "\"Импульсы, \"\"g\"\"\",0.002,0.5,all\n"
                             "\"Импульсы, \"\"g\"\"\",0.003,1.5,all\n"));
    const QString png = folder.filePath(QStringLiteral("chart.png"));
    ASSERT_TRUE(window.SavePictureTo(png));
    EXPECT_TRUE(QImage(png).text(QStringLiteral("Description")).startsWith(U("Ранние данные прорежены")));
    const QString svg = folder.filePath(QStringLiteral("chart.svg"));
    ASSERT_TRUE(window.SavePictureTo(svg));
    EXPECT_TRUE(TextOf(svg).contains(U("Ранние данные прорежены")));
}

// The main window's watch window commands over the real controller: create, observe, compute,
// rename, save, reopen, delete.
TEST(WatchWindowsEndToEnd, CreatedObservedComputedSavedRestoredAndDeleted) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString projectFile = folder.filePath(QStringLiteral("arc/arc.tvp"));
    const QString projectDir = folder.filePath(QStringLiteral("arc"));
    using C = TCommand;

    {
        TMainForm form;
        form.show();
        uitest::DialogScript script;
        script.ThenOn<TCreateProjectWizardForm>([&](TCreateProjectWizardForm& wizard) {
            wizard.ProjectFileEdit()->setText(projectFile);
            wizard.ForwardButton()->click();
            wizard.ProjectNameEdit()->setText(QStringLiteral("arc"));
            wizard.ForwardButton()->click();
            wizard.ModelFileEdit()->setText(uitest::Example("reflex_arc.tv"));
            wizard.ForwardButton()->click();
        });
        form.Action(C::CreateProject)->trigger();
        VModeler& modeler = form.Modeler();
        ASSERT_TRUE(modeler.IsProjectOpen());
        ASSERT_TRUE(modeler.GetEnvironment()->IsModelLoaded());

        for (const char* name : {"Мотонейрон", "Мышца"}) {
            script.ThenOn<TListInputForm>([name](TListInputForm& input) {
                EXPECT_EQ(input.windowTitle(), U("Введите имя нового окна наблюдения"));
                input.Entry()->setText(U(name));
                input.OkButton()->click();
            });
            form.Action(C::NewWatchWindow)->trigger();
        }
        ASSERT_EQ(modeler.GetWatchWindows().size(), 2u);
        auto* motor = dynamic_cast<TWatchWindowForm*>(modeler.GetWatchWindow("0"));
        auto* muscle = dynamic_cast<TWatchWindowForm*>(modeler.GetWatchWindow("1"));
        ASSERT_NE(motor, nullptr);
        ASSERT_NE(muscle, nullptr);
        EXPECT_TRUE(motor->isVisible());
        EXPECT_EQ(motor->windowTitle(), U("Мотонейрон"));
        EXPECT_EQ(motor->GetFrame().GetModel(), modeler.GetEnvironment()->GetModel());

        // Observe through the dialog: the motor neuron's pulses in one window, the length in the other.
        TSeriesControlForm& dialog = *form.SeriesControlForm();
        auto observe = [&](TWatchWindowForm& window, const char* gate) {
            window.Button(1)->click();
            ASSERT_TRUE(dialog.isVisible());
            const auto rows = dialog.StringGrid1->findItems(QLatin1String(gate), Qt::MatchExactly);
            ASSERT_EQ(rows.size(), 1);
            dialog.StringGrid1->setCurrentCell(rows.front()->row(), 0);
            dialog.Button2->click();
            dialog.BitBtn1->click();
            EXPECT_FALSE(dialog.isVisible());
        };
        observe(*motor, "motorPulses");
        observe(*muscle, "muscleLength");
        ASSERT_EQ(motor->GetFrame().GetChart().GetSeriesCount(), 1);

        form.Action(C::Start)->trigger();
        for (int i = 0; i < 10; ++i) form.TimerTick();
        form.Action(C::Pause)->trigger();
        const VChartSeries& length = *muscle->GetFrame().GetChart().GetSeries(0);
        EXPECT_GT(length.GetCount(), 100);
        EXPECT_GT(motor->GetFrame().GetChart().GetSeries(0)->GetCount(), 0);
        const int points = length.GetCount();
        const double last = length.GetX(points - 1);

        // Renaming to the other window's name is refused; to a new name it is taken.
        script.ThenOn<TListInputForm>([](TListInputForm& input) {
            input.Entry()->setText(U("Мышца"));
            input.OkButton()->click();
            EXPECT_TRUE(input.IsRefusalShown());
        });
        motor->Button(2)->click();
        EXPECT_EQ(motor->windowTitle(), U("Мотонейрон"));
        script.ThenOn<TListInputForm>([](TListInputForm& input) {
            input.Entry()->setText(U("Импульсы"));
            input.OkButton()->click();
        });
        motor->Button(2)->click();
        EXPECT_EQ(motor->windowTitle(), U("Импульсы"));

        form.Action(C::Stop)->trigger();

        // Reopened (closing saves the workspace): the windows come back with their series and points.
        ASSERT_TRUE(form.OpenProjectFile(projectFile));
        EXPECT_TRUE(script.Boxes.empty()) << script.Boxes.front().Text.toStdString();
        const auto info = VIniFile::Open(ToPath(projectDir + QStringLiteral("/watchinfo")));
        ASSERT_NE(info, nullptr);
        EXPECT_EQ(info->ReadString("0", "Caption", ""), Cp("Импульсы"));
        EXPECT_TRUE(QFile::exists(projectDir + QStringLiteral("/watchinfo.1")));
        ASSERT_EQ(modeler.GetWatchWindows().size(), 2u);
        auto* restored = dynamic_cast<TWatchWindowForm*>(modeler.GetWatchWindow("1"));
        ASSERT_NE(restored, nullptr);
        EXPECT_TRUE(restored->isVisible());
        EXPECT_EQ(restored->windowTitle(), U("Мышца"));
        ASSERT_EQ(restored->GetFrame().GetChart().GetSeriesCount(), 1);
        const VChartSeries& back = *restored->GetFrame().GetChart().GetSeries(0);
        EXPECT_EQ(back.GetCount(), points);
        EXPECT_NEAR(back.GetX(points - 1), last, 5e-7);

        // Deleted by name: its section and series file go with the next save, not before.
        script.ThenOn<TListInputForm>([](TListInputForm& input) {
            input.Entry()->setText(U("Мышца"));
            input.OkButton()->click();
        });
        script.ThenAnswer(U("Да"));
        form.Action(C::DeleteWatchWindow)->trigger();
        EXPECT_EQ(modeler.GetWatchWindows().size(), 1u);
        EXPECT_TRUE(QFile::exists(projectDir + QStringLiteral("/watchinfo.1")));
        ASSERT_TRUE(modeler.SaveWorkspace());
        EXPECT_FALSE(QFile::exists(projectDir + QStringLiteral("/watchinfo.1")));
        ASSERT_EQ(script.Boxes.size(), 1u);
        EXPECT_EQ(script.Boxes[0].Text, U("Удалить окно наблюдения \"Мышца\" вместе с его данными?"));
    }
}

} // namespace
} // namespace talvero::ui
