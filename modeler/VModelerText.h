#pragma once
// Names and texts shared by the controller's source files.

#include <string>

#include "kernel/Cp1251.h"

namespace talvero::modeler_text {

// The controller's Russian texts are written here in UTF-8 and handed on as cp1251.
inline std::string Cp(const char* utf8) { return Utf8ToCp1251(utf8); }

// The reader's marker for a missing file-name key.
inline constexpr const char* kMissing = "Fail";
inline constexpr const char* kDefaultWatchInfoFileName = "watchinfo";
inline constexpr const char* kDefaultDescriptionFileName = "PrjDescr.rtf";
inline constexpr const char* kCaptionBase = "Talvero";

inline constexpr const char* kSystem = "System";
inline constexpr const char* kComputation = "Computation";
inline constexpr const char* kEnvironment = "Environment";
inline constexpr const char* kAsFastAsPossibleKey = "CalcAsFastAsPossible";
inline constexpr const char* kRunUntilKey = "CalcUntilTime";
inline constexpr const char* kPaceKey = "CalcPace";
inline constexpr const char* kComputeThreadsKey = "ComputeThreads";
inline constexpr const char* kRecordResultsKey = "RecordResults";

// Position of the last '\' or '/', or npos.
inline std::string::size_type LastSeparator(const std::string& path) { return path.find_last_of("\\/"); }

} // namespace talvero::modeler_text
