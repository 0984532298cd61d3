// The diagram of a model with nested nets, user classes and links at every level.

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "diagram/NDiagramRender.h"
#include "diagram/NModelDiagram.h"
#include "environment/LanguageTestSupport.h"
#include "environment/NBuiltinClasses.h"
#include "environment/NEnvironment.h"
#include "kernel/NModel.h"

namespace talvero {
namespace {

// A net class with its own link, used at two depths; an empty net; both kinds of source.
constexpr const char* kNested = R"(
class Cell : Neuron {
  IonUnit exc { parameter MaxIntensity = 1; Synapse in { } }
  IonUnit inh { parameter MaxIntensity = -0.5; }
}
class Pair : Net {
  Cell a { }
  Cell b { }
  link a:b.exc.in;
}
Model m {
  Net outer {
    Pair left { }
    Net inner {
      Pair right { }
      Net empty { }
    }
    link left.b:inner.right.a.exc.in;
  }
  Generator g { }
  ASinusGenerator wave { }
  ATimeWatch w { }
  link g:outer.left.a.exc.in;
  link wave:w.input;
}
)";

class DiagramTest : public ::testing::Test {
protected:
    void SetUp() override {
        RegisterBuiltinClasses(Environment);
        const std::string source = Dir.Write("nested.tv", kNested);
        ASSERT_TRUE(Environment.Compile(source, Dir.File("nested.btv")));
        ASSERT_TRUE(Environment.LoadModel(Dir.File("nested.btv")));
        Graph = BuildModelDiagram(Environment, *Environment.GetModel());
    }

    int IndexOf(const std::string& path) const {
        for (std::size_t i = 0; i < Graph.Nodes.size(); ++i)
            if (Graph.Nodes[i].Path == path) return static_cast<int>(i);
        return -1;
    }

    test::TempDir Dir;
    NEnvironment Environment;
    NModelDiagram Graph;
};

TEST_F(DiagramTest, NestedNetsAndUserClassesKeepTheirPlaceKindAndLinks) {
    struct Row {
        const char* Path;
        const char* Parent;  // "" for a direct component of the model
        NDiagramKind Kind;
        const char* Class;
    };
    const Row rows[] = {
        {"outer", "", NDiagramKind::Net, "Net"},
        {"outer.left", "outer", NDiagramKind::Net, "Net"},
        {"outer.inner.right.b", "outer.inner.right", NDiagramKind::PulseElement, "Neuron"},
        {"outer.inner.right.b.exc.in", "outer.inner.right.b.exc", NDiagramKind::Connector, "Synapse"},
        {"outer.inner.right.b.inh", "outer.inner.right.b", NDiagramKind::InhibitoryUnit, "IonUnit"},
        {"outer.inner.right.b.exc", "outer.inner.right.b", NDiagramKind::Part, "IonUnit"},
        {"outer.inner.empty", "outer.inner", NDiagramKind::Net, "Net"},
        {"g", "", NDiagramKind::PulseSource, "Generator"},
        {"wave", "", NDiagramKind::AnalogSource, "ASinusGenerator"},
        {"w", "", NDiagramKind::OutGate, "ATimeWatch"},
        {"w.input", "w", NDiagramKind::Connector, "SimpleAConnector"},
    };
    for (const Row& row : rows) {
        const int index = IndexOf(row.Path);
        ASSERT_GE(index, 0) << row.Path;
        const NDiagramNode& node = Graph.Nodes[static_cast<std::size_t>(index)];
        const std::string parent = node.Parent < 0 ? "" : Graph.Nodes[static_cast<std::size_t>(node.Parent)].Path;
        EXPECT_EQ(parent, row.Parent) << row.Path;
        EXPECT_EQ(node.Kind, row.Kind) << row.Path;
        EXPECT_EQ(node.ClassName, row.Class) << row.Path;
    }

    // Links recorded in the model, in a net, and inside each copy of the net class.
    using Edge = std::tuple<std::string, std::string, bool>;
    std::set<Edge> edges;
    for (const NDiagramEdge& e : Graph.Edges)
        edges.emplace(Graph.Nodes[static_cast<std::size_t>(e.From)].Path, Graph.Nodes[static_cast<std::size_t>(e.To)].Path,
                      e.Analog);
    EXPECT_EQ(edges, (std::set<Edge>{
                         {"outer.left.a", "outer.left.b.exc.in", false},
                         {"outer.inner.right.a", "outer.inner.right.b.exc.in", false},
                         {"outer.left.b", "outer.inner.right.a.exc.in", false},
                         {"g", "outer.left.a.exc.in", false},
                         {"wave", "w.input", true},
                     }));
    EXPECT_EQ(Graph.Edges.size(), edges.size());
}

TEST_F(DiagramTest, EveryObjectReachesTheDrawingWithoutComplaint) {
    if (!DiagramRenderingAvailable()) GTEST_SKIP() << "built without the Graphviz library";
    std::string svg, error, warnings;
    ASSERT_TRUE(RenderDiagram(WriteDiagramDot(Graph), "svg", svg, error, &warnings)) << error;
    EXPECT_EQ(warnings, "");
    // The empty net included: Graphviz drops empty clusters unless something stands in them.
    for (std::size_t i = 0; i < Graph.Nodes.size(); ++i)
        EXPECT_NE(svg.find("id=\"" + DiagramNodeId(static_cast<int>(i)) + "\""), std::string::npos)
            << Graph.Nodes[i].Path;

    std::string out;
    EXPECT_FALSE(RenderDiagram("digraph { a -> }", "svg", out, error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(RenderDiagram(WriteDiagramDot(Graph), "no-such-format", out, error));
    EXPECT_FALSE(error.empty());
}

} // namespace
} // namespace talvero
