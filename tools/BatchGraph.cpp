#include "tools/BatchGraph.h"

#include <cerrno>
#include <cstring>
#include <ostream>
#include <string>

#include "diagram/NDiagramRender.h"
#include "diagram/NModelDiagram.h"
#include "environment/NAtomicFile.h"
#include "tools/BatchRun.h"
#include "modeler/VIniFile.h"

namespace talvero::batch {
namespace {

int Emit(const std::string& data, const BatchOptions& options, std::ostream& out, std::ostream& err) {
    if (options.OutDir.empty()) {
        errno = 0;
        out.write(data.data(), static_cast<std::streamsize>(data.size()));
        out.flush();
        if (out) return kExitOk;
        const int reason = errno;
        err << "talvero-batch: cannot write the standard output" << (reason ? std::string(": ") + std::strerror(reason) : "")
            << "\n";
        return kExitModel;
    }
    std::string error;
    if (!WriteFileAtomically(options.OutDir, data, &error)) {
        err << "talvero-batch: cannot write " << options.OutDir << ": " << error << "\n";
        return kExitModel;
    }
    return kExitOk;
}

// Beyond this many objects and links a layout takes minutes and gigabytes; DOT text stays cheap.
constexpr std::size_t kMaxRenderedElements = 5000;

} // namespace

int WriteGraph(NEnvironment& environment, NModel& model, const BatchOptions& options, std::ostream& out,
               std::ostream& err) {
    const NModelDiagram diagram = BuildModelDiagram(environment, model);
    const std::string dot = WriteDiagramDot(diagram);
    if (options.GraphFormat.empty() || options.GraphFormat == "dot") return Emit(dot, options, out, err);
    if (diagram.Nodes.size() + diagram.Edges.size() > kMaxRenderedElements) {
        err << "talvero-batch: the model is too large to be drawn as " << options.GraphFormat << " ("
            << diagram.Nodes.size() << " objects and " << diagram.Edges.size() << " links; at most "
            << kMaxRenderedElements << " together); --graph-format dot writes its diagram as text\n";
        return kExitModel;
    }
    if (!DiagramRenderingAvailable()) {
        // Still useful: the DOT text goes out, and the caller learns that no picture was made.
        err << "talvero-batch: built without the Graphviz library, so no " << options.GraphFormat
            << " was written; printing DOT instead (dot -T" << options.GraphFormat << " turns it into a picture)\n";
        out << dot;
        out.flush();
        return kExitModel;
    }
    std::string picture;
    std::string error;
    std::string warnings;
    if (!RenderDiagram(dot, options.GraphFormat, picture, error, &warnings)) {
        err << "talvero-batch: " << error << "\n";
        return kExitModel;
    }
    if (!warnings.empty()) err << warnings;
    return Emit(picture, options, out, err);
}

} // namespace talvero::batch
