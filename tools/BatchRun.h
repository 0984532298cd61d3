#pragma once
// The headless run: load a model, apply settings, step it, write what its out gates recorded.

#include <iosfwd>

#include "tools/BatchOptions.h"

namespace talvero {
class NEnvironment;
}

namespace talvero::batch {

// 3: the run went through, but an out gate recorded a value that is not finite.
enum ExitCode { kExitOk = 0, kExitModel = 1, kExitUsage = 2, kExitNonFinite = 3 };

// `progress`: show a progress bar on `err` during the run.
int RunBatch(const BatchOptions& options, std::ostream& out, std::ostream& err, bool progress);
// The same in an environment the caller keeps, which must hold no model yet.
int RunBatch(const BatchOptions& options, std::ostream& out, std::ostream& err, bool progress,
             NEnvironment& environment);

} // namespace talvero::batch
