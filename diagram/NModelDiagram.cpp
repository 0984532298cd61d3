#include "diagram/NModelDiagram.h"

#include <typeinfo>
#include <unordered_map>

#include "elements/NIonUnit.h"
#include "environment/NEnvironment.h"
#include "kernel/Cp1251.h"
#include "kernel/NAItem.h"
#include "kernel/NAbstractItem.h"
#include "kernel/NAbstractOutGate.h"
#include "kernel/NAbstractSource.h"
#include "kernel/NModel.h"
#include "kernel/NNet.h"
#include "kernel/NUnitDescription.h"

namespace talvero {
namespace {

constexpr const char* kIdPrefix = "o";

NDiagramKind KindOf(NBasicDescription& object) {
    if (dynamic_cast<NAbstractNet*>(&object)) return NDiagramKind::Net;
    if (dynamic_cast<NAbstractOutGate*>(&object)) return NDiagramKind::OutGate;
    if (dynamic_cast<NAbstractConnector*>(&object)) return NDiagramKind::Connector;
    if (auto* item = dynamic_cast<NAbstractItem*>(&object)) {
        const bool pulse = item->AsPulseItem() != nullptr;
        if (dynamic_cast<NAbstractSource*>(&object)) return pulse ? NDiagramKind::PulseSource : NDiagramKind::AnalogSource;
        return pulse ? NDiagramKind::PulseElement : NDiagramKind::AnalogElement;
    }
    if (dynamic_cast<NAObject*>(&object)) return NDiagramKind::AnalogElement;
    if (dynamic_cast<NIonUnit*>(&object) && object.GetParameter("MaxIntensity") < 0) return NDiagramKind::InhibitoryUnit;
    return NDiagramKind::Part;
}

class DiagramBuilder {
public:
    DiagramBuilder(NEnvironment& environment, NModel& model, NModelDiagram& diagram)
        : Registry(environment.GetClassRegistry()), Model(model), Diagram(diagram) {}

    void Build() {
        Diagram.ModelName = Model.GetName();
        AddComponents(Model, -1, "");
        AddLinks(Model);
        for (std::size_t i = 0; i < Diagram.Nodes.size(); ++i) {
            if (Diagram.Nodes[i].Kind != NDiagramKind::Net) continue;
            if (auto* net = dynamic_cast<NAbstractNet*>(Objects[i])) AddLinks(*net);
        }
    }

private:
    std::string ClassName(const NBasicDescription& object) const {
        for (const auto& prototype : Registry)
            if (typeid(*prototype) == typeid(object)) return prototype->GetName();
        return {};
    }

    void AddComponents(NBasicDescription& owner, int ownerIndex, const std::string& prefix) {
        NStringList names;
        owner.GetComponentsList(names);
        for (const std::string& name : names) {
            NBasicDescription* component = owner.GetComponent(name.c_str());
            // A component listed twice under one name is reached once: the lookup finds the first.
            if (!component || Index.count(component)) continue;
            const int index = static_cast<int>(Diagram.Nodes.size());
            NDiagramNode node;
            node.Path = prefix + name;
            node.Name = name;
            node.ClassName = ClassName(*component);
            node.Kind = KindOf(*component);
            node.Parent = ownerIndex;
            Diagram.Nodes.push_back(std::move(node));
            Objects.push_back(component);
            Index.emplace(component, index);
            if (ownerIndex >= 0) Diagram.Nodes[static_cast<std::size_t>(ownerIndex)].HasChildren = true;
            AddComponents(*component, index, Diagram.Nodes[static_cast<std::size_t>(index)].Path + ".");
        }
    }

    void AddLinks(NAbstractNet& net) {
        NLinksMap links;
        net.GetLinks(links);
        for (const auto& [itemName, connectorName] : links) {
            NBasicDescription* item = net.GetComponent(itemName.c_str());
            NBasicDescription* connector = net.GetComponent(connectorName.c_str());
            const auto from = Index.find(item);
            const auto to = Index.find(connector);
            if (from == Index.end() || to == Index.end()) continue;
            auto* asItem = dynamic_cast<NAbstractItem*>(item);
            Diagram.Edges.push_back({from->second, to->second, asItem && asItem->AsAnalogItem() != nullptr});
        }
    }

    const NPrototypeList& Registry;
    NModel& Model;
    NModelDiagram& Diagram;
    std::vector<NBasicDescription*> Objects;
    std::unordered_map<const NBasicDescription*, int> Index;
};

// A DOT double-quoted string.
std::string Quote(const std::string& utf8) {
    std::string out = "\"";
    for (char c : utf8) {
        if (c == '"' || c == '\\') out += '\\';
        if (c == '\n') {
            out += "\\n";
            continue;
        }
        out += c;
    }
    return out + "\"";
}

struct KindStyle {
    const char* Shape;
    const char* Fill;
    const char* Line;
};

KindStyle StyleOf(NDiagramKind kind) {
    switch (kind) {
    case NDiagramKind::Net: return {"box", "#f4f6f8", "#7b8794"};
    case NDiagramKind::PulseSource: return {"invhouse", "#ffd59e", "#b86e00"};
    case NDiagramKind::AnalogSource: return {"invhouse", "#c6ebc2", "#2f7d32"};
    case NDiagramKind::PulseElement: return {"ellipse", "#cfe2ff", "#2456a6"};
    case NDiagramKind::AnalogElement: return {"box", "#e2f4dc", "#2f7d32"};
    case NDiagramKind::Part: return {"box", "#eeeeee", "#777777"};
    case NDiagramKind::InhibitoryUnit: return {"box", "#ffd6d6", "#c62828"};
    case NDiagramKind::Connector: return {"cds", "#ffffff", "#555555"};
    case NDiagramKind::OutGate: return {"note", "#eadcf7", "#6a3d9a"};
    }
    return {"box", "#ffffff", "#000000"};
}

const char* kPulseEdge = "color=\"#2456a6\", style=solid";
const char* kAnalogEdge = "color=\"#2f7d32\", style=dashed, arrowhead=empty";

std::string NodeAttributes(NDiagramKind kind, const std::string& label, const std::string& tooltip, bool small) {
    const KindStyle style = StyleOf(kind);
    std::string text = "label=" + Quote(label) + ", shape=" + style.Shape + ", style=\"filled" +
                       (kind == NDiagramKind::PulseElement || kind == NDiagramKind::Connector ? "" : ",rounded") +
                       "\", fillcolor=\"" + style.Fill + "\", color=\"" + style.Line + "\"";
    if (kind == NDiagramKind::InhibitoryUnit) text += ", penwidth=2";
    if (small) text += ", fontsize=9, margin=\"0.05,0.02\", height=0.3";
    if (!tooltip.empty()) text += ", tooltip=" + Quote(tooltip);
    return text;
}

class DotWriter {
public:
    DotWriter(const NModelDiagram& diagram, const NDiagramDotOptions& options) : Diagram(diagram), Options(options) {
        Children.resize(diagram.Nodes.size());
        for (std::size_t i = 0; i < diagram.Nodes.size(); ++i) {
            const int parent = diagram.Nodes[i].Parent;
            if (parent < 0) Top.push_back(static_cast<int>(i));
            else Children[static_cast<std::size_t>(parent)].push_back(static_cast<int>(i));
        }
    }

    std::string Write() {
        Out = "digraph " + Quote(Cp1251ToUtf8(Diagram.ModelName)) + " {\n";
        Out += "  graph [rankdir=LR, compound=true, newrank=true, fontname=\"DejaVu Sans\", fontsize=12, "
               "labelloc=t, label=" + Quote(Cp1251ToUtf8(Diagram.ModelName)) + ", nodesep=0.15, ranksep=0.4];\n";
        Out += "  node [fontname=\"DejaVu Sans\", fontsize=11];\n";
        Out += "  edge [fontname=\"DejaVu Sans\", fontsize=9, arrowsize=0.7];\n";
        for (int index : Top) WriteObject(index, "  ");
        for (const NDiagramEdge& edge : Diagram.Edges)
            Out += "  " + NodeName(edge.From) + " -> " + NodeName(edge.To) + " [" + (edge.Analog ? kAnalogEdge : kPulseEdge) +
                   "];\n";
        if (Options.Legend) WriteLegend();
        Out += "}\n";
        return Out;
    }

private:
    std::string NodeName(int index) const { return Quote(Cp1251ToUtf8(Diagram.Nodes[static_cast<std::size_t>(index)].Path)); }

    std::string Label(const NDiagramNode& node) const {
        std::string label = Cp1251ToUtf8(node.Name);
        if (Options.ClassLine && !node.ClassName.empty()) label += "\n" + node.ClassName;
        return label;
    }

    void WriteObject(int index, const std::string& indent) {
        const NDiagramNode& node = Diagram.Nodes[static_cast<std::size_t>(index)];
        const auto& children = Children[static_cast<std::size_t>(index)];
        const bool small = node.Parent >= 0 && Diagram.Nodes[static_cast<std::size_t>(node.Parent)].Kind != NDiagramKind::Net;
        if (node.Kind == NDiagramKind::Net) {
            const KindStyle style = StyleOf(node.Kind);
            Out += indent + "subgraph " + Quote("cluster " + Cp1251ToUtf8(node.Path)) + " {\n";
            Out += indent + "  id=" + Quote(DiagramNodeId(index)) + "; label=" + Quote(Label(node)) +
                   "; style=\"filled,rounded\"; fillcolor=\"" + style.Fill + "\"; color=\"" + style.Line + "\";\n";
            // Graphviz drops an empty cluster; an invisible point keeps the net on the drawing.
            if (children.empty())
                Out += indent + "  " + Quote(Cp1251ToUtf8(node.Path) + " (empty)") + " [shape=point, style=invis];\n";
            for (int child : children) WriteObject(child, indent + "  ");
            Out += indent + "}\n";
            return;
        }
        const std::string attributes = "id=" + Quote(DiagramNodeId(index)) + ", " +
                                       NodeAttributes(node.Kind, Label(node), node.ClassName, small);
        if (children.empty()) {
            Out += indent + NodeName(index) + " [" + attributes + "];\n";
            return;
        }
        // An element with components: the element and its parts framed together.
        Out += indent + "subgraph " + Quote("cluster " + Cp1251ToUtf8(node.Path)) + " {\n";
        Out += indent + "  label=\"\"; style=\"rounded,dashed\"; color=\"#9aa5b1\"; margin=6;\n";
        Out += indent + "  " + NodeName(index) + " [" + attributes + "];\n";
        for (int child : children) WriteObject(child, indent + "  ");
        // The parts one rank after their element, so that an element reads as a short row, not a pile.
        for (int child : children)
            if (Children[static_cast<std::size_t>(child)].empty())
                Out += indent + "  " + NodeName(index) + " -> " + NodeName(child) + " [style=invis];\n";
        Out += indent + "}\n";
    }

    // The legend's own names, unlike any object's: an object called "legend" must not join its box.
    std::string LegendPrefix() const {
        std::string prefix = "legend";
        for (bool clash = true; clash;) {
            clash = false;
            for (const NDiagramNode& node : Diagram.Nodes)
                if (Cp1251ToUtf8(node.Path).rfind(prefix, 0) == 0) clash = true;
            if (clash) prefix += '~';
        }
        return prefix;
    }

    void WriteLegend() {
        const std::string prefix = LegendPrefix();
        Out += "  subgraph " + Quote("cluster " + prefix) + " {\n";
        Out += "    label=\"Обозначения\"; fontsize=10; style=\"rounded\"; color=\"#9aa5b1\";\n";
        static constexpr NDiagramKind kKinds[] = {NDiagramKind::PulseSource, NDiagramKind::AnalogSource,
                                                  NDiagramKind::PulseElement, NDiagramKind::AnalogElement,
                                                  NDiagramKind::Part, NDiagramKind::InhibitoryUnit,
                                                  NDiagramKind::Connector, NDiagramKind::OutGate};
        // One column: every sample on the same rank (the drawing runs left to right).
        std::string column = "    { rank=same;";
        int n = 0;
        for (NDiagramKind kind : kKinds) {
            const std::string name = Quote(prefix + " " + std::to_string(n));
            Out += "    " + name + " [id=" + Quote("legend" + std::to_string(n++)) + ", " +
                   NodeAttributes(kind, DiagramKindCaption(kind), "", true) + "];\n";
            column += " " + name + ";";
        }
        for (bool analog : {false, true}) {
            const std::string a = Quote(prefix + " " + std::to_string(n++));
            const std::string b = Quote(prefix + " " + std::to_string(n++));
            Out += "    " + a + " [shape=plaintext, fontsize=9, label=" +
                   Quote(analog ? "аналоговая связь" : "импульсная связь") + "];\n";
            Out += "    " + b + " [shape=point, width=0.05, label=\"\"];\n";
            Out += "    " + a + " -> " + b + " [" + (analog ? kAnalogEdge : kPulseEdge) + "];\n";
            column += " " + a + ";";
        }
        Out += column + " }\n  }\n";
    }

    const NModelDiagram& Diagram;
    const NDiagramDotOptions& Options;
    std::vector<std::vector<int>> Children;
    std::vector<int> Top;
    std::string Out;
};

} // namespace

NModelDiagram BuildModelDiagram(NEnvironment& environment, NModel& model) {
    NModelDiagram diagram;
    DiagramBuilder(environment, model, diagram).Build();
    return diagram;
}

std::string DiagramNodeId(int index) { return kIdPrefix + std::to_string(index); }

std::string WriteDiagramDot(const NModelDiagram& diagram, const NDiagramDotOptions& options) {
    return DotWriter(diagram, options).Write();
}

const char* DiagramKindCaption(NDiagramKind kind) {
    switch (kind) {
    case NDiagramKind::Net: return "сеть";
    case NDiagramKind::PulseSource: return "импульсный источник";
    case NDiagramKind::AnalogSource: return "аналоговый источник";
    case NDiagramKind::PulseElement: return "импульсный элемент";
    case NDiagramKind::AnalogElement: return "аналоговый элемент";
    case NDiagramKind::Part: return "часть элемента";
    case NDiagramKind::InhibitoryUnit: return "тормозной ионный канал";
    case NDiagramKind::Connector: return "вход (синапс, соединитель)";
    case NDiagramKind::OutGate: return "точка наблюдения";
    }
    return "";
}

} // namespace talvero
