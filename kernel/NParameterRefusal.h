#pragma once
// The detail shown with a refused parameter (codes 20 and 21): which object, which parameter, the
// value offered and what the parameter admits, so that a user can mend the value without the
// reference at hand.

#include <cstdint>
#include <string>

namespace talvero {

class NBasicDescription;

// A cp1251 detail line. Code 20 lists the parameters the object has; code 21 gives the value and
// the admissible values in force. Reads the object only.
std::string DescribeParameterRefusal(NBasicDescription& object, const std::string& parameter, double value,
                                     std::uint32_t code);

// Replaces the detail of the last error (which must be a refusal of `parameter` on `object`) by
// the description above; other codes keep their detail. Returns false, to end a failed setter.
bool ExplainParameterRefusal(NBasicDescription& object, const std::string& parameter, double value);

// Shortest text that reads back as `value` ("0.0001", "1e+20", "nan").
std::string FormatParameterNumber(double value);

} // namespace talvero
