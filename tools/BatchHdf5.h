#pragma once
// The HDF5 writer of `--out FILE.h5` lives with the other results writers; the runner's names.

#include "results/GateHdf5File.h"
#include "tools/BatchOutput.h"

namespace talvero::batch {

using talvero::GateHdf5File;
using talvero::IsHdf5Path;
using talvero::ReadGateHdf5File;
using talvero::RunDescription;
using talvero::StoredGate;

} // namespace talvero::batch
