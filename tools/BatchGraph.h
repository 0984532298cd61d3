#pragma once
// --graph: the loaded model's diagram as DOT, or rendered through Graphviz.

#include <iosfwd>

#include "tools/BatchOptions.h"

namespace talvero {
class NEnvironment;
class NModel;
} // namespace talvero

namespace talvero::batch {

int WriteGraph(NEnvironment& environment, NModel& model, const BatchOptions& options, std::ostream& out,
               std::ostream& err);

} // namespace talvero::batch
