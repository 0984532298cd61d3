#pragma once
// The admissible ranges of table-driven parameters, found from an object of any element class,
// so that a refused value can be answered with what would have been taken.

#include <typeinfo>

namespace talvero {

class NBasicDescription;
struct NRange;

// False when `name` is not a parameter of the class.
using NRangeLookup = bool (*)(const char* name, NRange& range);

// Returns true so that a class can register in a static initializer.
bool RegisterParameterRanges(const std::type_info& type, NRangeLookup lookup);

// False when the object's class keeps its ranges in code of its own, or `name` is unknown.
bool FindParameterRange(const NBasicDescription& object, const char* name, NRange& range);

} // namespace talvero
