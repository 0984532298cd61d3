#include "kernel/NParameterRefusal.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "kernel/Cp1251.h"
#include "kernel/NBasicDescription.h"
#include "kernel/NError.h"
#include "kernel/NTimeStepLimit.h"

namespace talvero {

std::string FormatParameterNumber(double value) {
    // The fewest digits that read back exactly, without an exponent where a reader expects none:
    // "0.0001" and "100000" rather than "1e-04" and "1e+05".
    char buffer[64];
    const double magnitude = std::fabs(value);
    const bool plain = magnitude == 0 || (magnitude >= 1e-5 && magnitude < 1e15);
    for (int digits = 0; digits <= 24; ++digits) {
        std::snprintf(buffer, sizeof buffer, plain ? "%.*f" : "%.*g", plain ? digits : digits + 1, value);
        if (std::strtod(buffer, nullptr) == value) return buffer;
    }
    std::snprintf(buffer, sizeof buffer, "%.17g", value);
    return buffer;
}

std::string DescribeParameterRefusal(NBasicDescription& object, const std::string& parameter, double value,
                                     std::uint32_t code) {
    std::vector<NParameterInfo> parameters;
    object.DescribeParameters(parameters);
    const std::string owner = object.FullName();
    if (code == 20) {
        std::string known;
        for (const NParameterInfo& p : parameters) known += (known.empty() ? "" : ", ") + p.Name;
        return owner + Utf8ToCp1251(": нет параметра '") + parameter + "'" +
               Utf8ToCp1251(known.empty() ? "; параметров у объекта нет" : "; есть: ") + known;
    }
    std::string admits;
    for (const NParameterInfo& p : parameters)
        if (p.Name == parameter) admits = p.Admits.empty() ? "any" : p.Admits;
    std::string text = owner + "." + parameter + " = " + FormatParameterNumber(value) +
                       Utf8ToCp1251(": значение вне допустимых");
    if (!admits.empty()) text += " (" + admits + ")";
    // A bound that moves with the clock is worth its present value.
    if (admits.find("pulse duration") != std::string::npos)
        text += Utf8ToCp1251("; длительность импульса ") + FormatParameterNumber(static_cast<double>(PulseDurationFor(object))) +
                Utf8ToCp1251(" с");
    return text;
}

bool ExplainParameterRefusal(NBasicDescription& object, const std::string& parameter, double value) {
    const std::uint32_t code = PeekLastErrorCode();
    if (code == 20 || code == 21) ReportError(code, DescribeParameterRefusal(object, parameter, value, code));
    return false;
}

} // namespace talvero
