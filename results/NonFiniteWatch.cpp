#include "results/NonFiniteWatch.h"

#include <charconv>

namespace talvero {

std::string NonFiniteWatch::Describe() const {
    // The shortest text that reads back as the same number, as in the CSV output.
    char buffer[32];
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, Time);
    const std::string time = ec == std::errc() ? std::string(buffer, end) : std::string("nan");
    return "the out gate " + Gate + " recorded a value that is not finite at model time " + time + " s";
}

} // namespace talvero
