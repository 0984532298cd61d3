// The model diagram window over the real main window: it follows the opened model, its objects
// sit where they are drawn, and a click selects the object in the objects list.

#include <gtest/gtest.h>

#include <QAction>
#include <QFileDialog>
#include <QSvgRenderer>

#include <set>
#include <QDir>
#include <QGraphicsScene>
#include <QImage>
#include <QPainter>
#include <QTableWidget>
#include <QTreeWidget>

#include "UiTestSupport.h"
#include "diagram/NDiagramRender.h"
#include "diagram/NModelDiagram.h"
#include "environment/NEnvironment.h"
#include "modeler/VModeler.h"
#include "ui/TMainForm.h"
#include "ui/TMdlObjectsListForm.h"
#include "ui/TModelDiagramForm.h"
#include "ui/UiText.h"

namespace talvero::ui {
namespace {

using uitest::U;

class DiagramFormTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!DiagramRenderingAvailable()) GTEST_SKIP() << "built without the Graphviz library";
        ASSERT_TRUE(folder.isValid());
        const QDir example(uitest::Example("reflex_arc"));
        for (const QString& name : example.entryList(QDir::Files))
            ASSERT_TRUE(QFile::copy(example.filePath(name), folder.filePath(name)));
        Diagram = form.DiagramForm();
        form.Action(TCommand::ModelDiagram)->setEnabled(true);
        form.Action(TCommand::ModelDiagram)->trigger();
    }

    int IndexOf(const std::string& path) const {
        const auto& nodes = Diagram->Diagram().Nodes;
        for (std::size_t i = 0; i < nodes.size(); ++i)
            if (nodes[i].Path == path) return static_cast<int>(i);
        return -1;
    }

    // The path of the objects list's current node, as the kernel's names joined by ".".
    std::string SelectedPath() const {
        std::string path;
        for (QTreeWidgetItem* n = form.ObjectsListForm()->Tree()->currentItem(); n && n->parent(); n = n->parent())
            path = n->data(0, Qt::UserRole).toByteArray().toStdString() + (path.empty() ? "" : "." + path);
        return path;
    }

    QTemporaryDir folder;
    TMainForm form;
    TModelDiagramForm* Diagram = nullptr;
};

TEST_F(DiagramFormTest, FollowsTheModelAndAClickSelectsTheObjectDrawnThere) {
    EXPECT_TRUE(Diagram->isVisible());
    EXPECT_EQ(Diagram->Message(), U("Модель не загружена"));
    ASSERT_TRUE(form.OpenProjectFile(folder.filePath(QStringLiteral("reflex_arc.tvp"))));
    ASSERT_EQ(Diagram->Message(), QString());

    // Each object's place: the pixels there carry its kind's fill (a wrong mapping from the
    // picture's view box to the scene lands on something else).
    QImage picture(Diagram->View()->scene()->sceneRect().size().toSize(), QImage::Format_RGB32);
    picture.fill(Qt::white);
    {
        QPainter painter(&picture);
        Diagram->View()->scene()->render(&painter, QRectF(picture.rect()), Diagram->View()->scene()->sceneRect());
    }
    const struct {
        const char* Path;
        QRgb Fill;
    } colours[] = {{"drive", qRgb(0xff, 0xd5, 0x9e)}, {"arc.motor.inh", qRgb(0xff, 0xd6, 0xd6)},
                   {"arc.motor", qRgb(0xcf, 0xe2, 0xff)}, {"spindleRate", qRgb(0xea, 0xdc, 0xf7)}};
    for (const auto& row : colours) {
        const QRect r = Diagram->NodeRect(IndexOf(row.Path)).toRect();
        ASSERT_FALSE(r.isEmpty()) << row.Path;
        int hits = 0;
        for (int y = r.top(); y <= r.bottom(); ++y)
            for (int x = r.left(); x <= r.right(); ++x)
                if (picture.rect().contains(x, y) && (picture.pixel(x, y) & 0xffffff) == (row.Fill & 0xffffff)) ++hits;
        EXPECT_GT(hits, r.width() * r.height() / 3) << row.Path;
    }

    // Real clicks on the view; a synapse is not on the sources page, so the list turns to all objects.
    const struct {
        const char* Path;
        int StartPage;
        const char* FirstParameter;  // "" for an object without parameters
    } clicks[] = {{"arc.motor.inh.feedback", 1, "SecretionTC"},
                  {"drive", 1, "StartTime"},
                  {"muscleLength.input", 0, ""},
                  {"arc", 2, ""}};
    for (const auto& row : clicks) {
        SCOPED_TRACE(row.Path);
        form.ObjectsListForm()->SetPage(row.StartPage);
        const QRectF r = Diagram->NodeRect(IndexOf(row.Path));
        ASSERT_FALSE(r.isEmpty());
        // A net frames its objects: its own place is its frame's corner, not its middle.
        const QPointF point = row.Path == std::string("arc") ? r.topLeft() + QPointF(4, 4) : r.center();
        Diagram->View()->centerOn(point);
        QTest::mouseClick(Diagram->View()->viewport(), Qt::LeftButton, {}, Diagram->View()->mapFromScene(point));
        EXPECT_TRUE(form.ObjectsListForm()->isVisible());
        EXPECT_EQ(SelectedPath(), row.Path);
        EXPECT_EQ(form.ObjectsListForm()->Grid()->item(0, 0) ? form.ObjectsListForm()->Grid()->item(0, 0)->text()
                                                              : QString(),
                  U(row.FirstParameter));
    }

    form.close();
    EXPECT_FALSE(Diagram->isVisible());
    EXPECT_EQ(Diagram->Message(), U("Модель не загружена"));
}

TEST_F(DiagramFormTest, AModelTooLargeToLayOutHereGetsANoteNotAHang) {
    // 100 neurons of 27 objects each, every synapse fed: 5,101 objects and links.
    std::string text = "Model big {\n Net net {\n";
    for (int n = 0; n < 100; ++n) {
        text += "  Neuron c" + std::to_string(n) + " { IonUnit u {";
        for (int s = 0; s < 24; ++s) text += " Synapse s" + std::to_string(s) + " { }";
        text += " } }\n";
    }
    for (int n = 0; n < 100; ++n)
        for (int s = 0; s < 24; ++s)
            text += "  link c" + std::to_string((n + s + 1) % 100) + ":c" + std::to_string(n) + ".u.s" + std::to_string(s) + ";\n";
    text += " }\n}\n";
    QFile source(folder.filePath(QStringLiteral("big.tv")));
    ASSERT_TRUE(source.open(QIODevice::WriteOnly));
    source.write(text.c_str());
    source.close();
    NEnvironment* environment = form.Modeler().GetEnvironment();
    ASSERT_TRUE(environment->Compile(ToPath(source.fileName()), ToPath(folder.filePath(QStringLiteral("big.btv")))));
    ASSERT_TRUE(environment->LoadModel(ToPath(folder.filePath(QStringLiteral("big.btv")))));
    form.Action(TCommand::ModelDiagram)->trigger();
    EXPECT_TRUE(Diagram->Message().contains(U("слишком велика")));
    EXPECT_TRUE(Diagram->View()->scene()->items().isEmpty());
}

// After "Сменить модель" every link was drawn twice; opening the diagram folded the objects
// list and lost its selection; the legend took a third of the window.
TEST_F(DiagramFormTest, ChangingTheModelDrawsEachLinkOnceAndTheObjectsListKeepsItsState) {
    ASSERT_TRUE(form.OpenProjectFile(folder.filePath(QStringLiteral("reflex_arc.tvp"))));
    const std::size_t links = Diagram->Diagram().Edges.size();
    ASSERT_GT(links, 0u);
    uitest::DialogScript script;
    for (int change = 0; change < 2; ++change) {
        script.Then([&](QDialog& dialog) {
            auto* files = qobject_cast<QFileDialog*>(&dialog);
            if (!files) return static_cast<int>(QDialog::Rejected);
            files->selectFile(uitest::Example("reflex_arc.tv"));
            static_cast<QDialog*>(files)->accept();
            return files->result();
        });
        form.Action(TCommand::ChangeModel)->trigger();
        form.Action(TCommand::ModelDiagram)->trigger();
        EXPECT_EQ(Diagram->Diagram().Edges.size(), links) << change;
        std::set<std::pair<int, int>> distinct;
        for (const NDiagramEdge& e : Diagram->Diagram().Edges) distinct.insert({e.From, e.To});
        EXPECT_EQ(distinct.size(), links) << change;
    }

    TMdlObjectsListForm* list = form.ObjectsListForm();
    list->SetPage(0);
    list->Show();
    QTreeWidgetItem* root = list->Tree()->topLevelItem(0);
    ASSERT_NE(root, nullptr);
    root->setExpanded(true);
    ASSERT_GT(root->childCount(), 1);
    list->Tree()->setCurrentItem(root->child(1));
    const QString chosen = root->child(1)->text(0);
    form.Action(TCommand::ModelDiagram)->trigger();
    ASSERT_NE(list->Tree()->currentItem(), nullptr);
    EXPECT_EQ(list->Tree()->currentItem()->text(0), chosen);
    EXPECT_TRUE(list->Tree()->topLevelItem(0)->isExpanded());

    // The legend is one small box beside the model, not a column as tall as the drawing.
    const QRectF legend = Diagram->View()->scene()->sceneRect();
    std::string svg;
    std::string error;
    ASSERT_TRUE(RenderDiagram(WriteDiagramDot(Diagram->Diagram()), "svg", svg, error)) << error;
    QSvgRenderer renderer(QByteArray::fromStdString(svg));
    ASSERT_TRUE(renderer.elementExists(QStringLiteral("legend")));
    const QRectF box = renderer.boundsOnElement(QStringLiteral("legend"));
    const QRectF all = renderer.viewBoxF();
    EXPECT_LT(box.width() * box.height(), all.width() * all.height() * 0.12) << box.width() << "x" << box.height();
    EXPECT_FALSE(legend.isEmpty());
}

} // namespace
} // namespace talvero::ui
