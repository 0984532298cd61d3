#include "tools/BatchGraph.h"

#include <ostream>
#include <string>

#include "diagram/NDiagramRender.h"
#include "diagram/NModelDiagram.h"
#include "tools/BatchRun.h"
#include "modeler/VIniFile.h"

namespace talvero::batch {
namespace {

int Emit(const std::string& data, const BatchOptions& options, std::ostream& out, std::ostream& err) {
    if (options.OutDir.empty()) {
        out.write(data.data(), static_cast<std::streamsize>(data.size()));
        out.flush();
        return out ? kExitOk : kExitModel;
    }
    if (!WriteFileReplacing(options.OutDir, data)) {
        err << "talvero-batch: cannot write " << options.OutDir << "\n";
        return kExitModel;
    }
    return kExitOk;
}

} // namespace

int WriteGraph(NEnvironment& environment, NModel& model, const BatchOptions& options, std::ostream& out,
               std::ostream& err) {
    const std::string dot = WriteDiagramDot(BuildModelDiagram(environment, model));
    if (options.GraphFormat.empty() || options.GraphFormat == "dot") return Emit(dot, options, out, err);
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
