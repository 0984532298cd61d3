#pragma once
// Layout and drawing of DOT text through the Graphviz library, when the build found it.

#include <string>

namespace talvero {

// Whether this build can lay out and render (else only DOT text is available).
bool DiagramRenderingAvailable();

// Lays `dot` out with Graphviz's "dot" engine and renders it in `format` ("svg", "png", ...).
// False with a reason in `error` when the library is missing, the text does not parse or the
// format is unknown. `warnings` receives what Graphviz said on the way (empty when all was well).
bool RenderDiagram(const std::string& dot, const std::string& format, std::string& output, std::string& error,
                   std::string* warnings = nullptr);

} // namespace talvero
