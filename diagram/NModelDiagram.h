#pragma once
// A model's objects and recorded links as a graph, read through the kernel's own operations, and
// its Graphviz DOT text. No layout here: that is Graphviz's job (NDiagramRender.h).

#include <string>
#include <vector>

namespace talvero {

class NEnvironment;
class NModel;

enum class NDiagramKind {
    Net,             // drawn as a cluster holding its objects
    PulseSource,
    AnalogSource,
    PulseElement,    // neurons, fibres, afferent neurons, pulse items inside elements
    AnalogElement,   // muscles and analog items
    Part,            // zones and ion units
    InhibitoryUnit,  // an ion unit with a negative MaxIntensity
    Connector,       // synapses and simple connectors: where links arrive
    OutGate,
};

struct NDiagramNode {
    std::string Path;       // dotted name below the model, as the objects list and --tree give it
    std::string Name;
    std::string ClassName;  // built-in class; empty when none matches
    NDiagramKind Kind = NDiagramKind::Part;
    int Parent = -1;        // index of the owning node, -1 for the model's direct components
    bool HasChildren = false;
};

struct NDiagramEdge {
    int From = -1;  // the item
    int To = -1;    // the connector
    bool Analog = false;
};

struct NModelDiagram {
    std::string ModelName;
    std::vector<NDiagramNode> Nodes;  // owners before their components, in list order
    std::vector<NDiagramEdge> Edges;  // one per recorded link whose two ends resolve
};

// Walks the model (GetComponentsList/GetComponent) and every net's recorded links; the
// environment's class registry names the classes. Texts stay as the kernel holds them (cp1251).
NModelDiagram BuildModelDiagram(NEnvironment& environment, NModel& model);

// The DOT id of node `index`; Graphviz's SVG gives the object's group this id, so that a click on
// a drawing can be traced back to the object.
std::string DiagramNodeId(int index);

struct NDiagramDotOptions {
    // The class as a second label line (files); the program shows it as a tooltip instead.
    bool ClassLine = true;
    bool Legend = true;
};

// UTF-8 DOT text of the diagram.
std::string WriteDiagramDot(const NModelDiagram& diagram, const NDiagramDotOptions& options = {});

// Kind names in the legend's words (UTF-8).
const char* DiagramKindCaption(NDiagramKind kind);

} // namespace talvero
