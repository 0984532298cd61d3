#include "diagram/NDiagramRender.h"

#ifdef TALVERO_HAVE_GRAPHVIZ
#include <graphviz/cgraph.h>
#include <graphviz/gvc.h>
#endif

namespace talvero {

#ifdef TALVERO_HAVE_GRAPHVIZ
namespace {

// Graphviz reports through one process-wide hook; it is pointed here for one render at a time.
std::string* CapturedMessages = nullptr;

int CaptureMessage(char* message) {
    if (CapturedMessages && message) *CapturedMessages += message;
    return 0;
}

class MessageCapture {
public:
    explicit MessageCapture(std::string& sink) : Previous(agseterrf(CaptureMessage)), PreviousLevel(agseterr(AGWARN)) {
        CapturedMessages = &sink;
        agreseterrors();
    }
    ~MessageCapture() {
        CapturedMessages = nullptr;
        agseterrf(Previous);
        agseterr(PreviousLevel);
    }
    MessageCapture(const MessageCapture&) = delete;
    MessageCapture& operator=(const MessageCapture&) = delete;

private:
    agusererrf Previous;
    agerrlevel_t PreviousLevel;
};

// One context for the whole process: the text-layout plugin keeps pointers into a context's font
// cache, so a second context after freeing the first reads freed memory.
GVC_t* SharedContext() {
    static GVC_t* const context = gvContext();
    return context;
}

} // namespace

bool DiagramRenderingAvailable() { return true; }

bool RenderDiagram(const std::string& dot, const std::string& format, std::string& output, std::string& error,
                   std::string* warnings) {
    output.clear();
    error.clear();
    std::string messages;
    bool ok = false;
    {
        MessageCapture capture(messages);
        GVC_t* context = SharedContext();
        Agraph_t* graph = context ? agmemread(dot.c_str()) : nullptr;
        if (!context) {
            error = "the Graphviz library could not start";
        } else if (!graph) {
            error = "the diagram text does not parse";
        } else if (gvLayout(context, graph, "dot") != 0) {
            error = "the diagram could not be laid out";
        } else {
            char* data = nullptr;
            unsigned int length = 0;
            if (gvRenderData(context, graph, format.c_str(), &data, &length) == 0 && data) {
                output.assign(data, length);
                ok = true;
            } else {
                error = "Graphviz cannot render the format '" + format + "'";
            }
            gvFreeRenderData(data);
            gvFreeLayout(context, graph);
        }
        if (graph) agclose(graph);
    }
    if (!ok && !messages.empty()) error += ": " + messages;
    if (warnings) *warnings = messages;
    return ok;
}

#else

bool DiagramRenderingAvailable() { return false; }

bool RenderDiagram(const std::string&, const std::string&, std::string& output, std::string& error, std::string* warnings) {
    output.clear();
    error = "this build has no Graphviz library: only DOT text can be written";
    if (warnings) warnings->clear();
    return false;
}

#endif

} // namespace talvero
