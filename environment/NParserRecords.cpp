#include "environment/NParserRecords.h"

#include <limits>

namespace talvero {

namespace {

// The field before the first space, or the whole line when it has none.
std::string FrontField(const std::string& line) {
    const std::size_t space = line.find(' ');
    return space == std::string::npos ? line : line.substr(0, space);
}

// Removes the first field and the space after it; a last field (no space) stays in the line.
void DropFrontField(std::string& line) {
    const std::size_t space = line.find(' ');
    if (space != std::string::npos) line.erase(0, space + 1);
}

std::string TakeField(std::string& line) {
    std::string field = FrontField(line);
    DropFrontField(line);
    return field;
}

bool IsCBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

} // namespace

long long TextToLong(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && IsCBlank(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    constexpr long long maxValue = std::numeric_limits<long long>::max();
    constexpr long long minValue = std::numeric_limits<long long>::min();
    long long value = 0;
    bool saturated = false;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        if (saturated) continue;
        const int digit = text[i] - '0';
        // Accumulate toward the sign so that the minimum value is representable.
        if (negative) {
            if (value < (minValue + digit) / 10) {
                value = minValue;
                saturated = true;
            } else {
                value = value * 10 - digit;
            }
        } else {
            if (value > (maxValue - digit) / 10) {
                value = maxValue;
                saturated = true;
            } else {
                value = value * 10 + digit;
            }
        }
    }
    return value;
}

bool NParserString::ReadFields(std::string& line) {
    if (TextToLong(FrontField(line)) != static_cast<long long>(Kind)) return false;
    DropFrontField(line);
    return true;
}

void NParserString::WriteFields(std::string& out) const { out += std::to_string(Kind); }

bool NParserNamedString::ReadFields(std::string& line) {
    if (!NParserString::ReadFields(line)) return false;
    Name = TakeField(line);
    return true;
}

void NParserNamedString::WriteFields(std::string& out) const {
    NParserString::WriteFields(out);
    out += ' ';
    out += Name;
}

bool NParserHdr::ReadFields(std::string& line) {
    if (!NParserNamedString::ReadFields(line)) return false;
    Argument = TakeField(line);
    return true;
}

void NParserHdr::WriteFields(std::string& out) const {
    NParserNamedString::WriteFields(out);
    out += ' ';
    out += Argument;
}

bool NParserParameter::ReadFields(std::string& line) {
    if (!NParserNamedString::ReadFields(line)) return false;
    Value = TakeField(line);
    return true;
}

void NParserParameter::WriteFields(std::string& out) const {
    NParserNamedString::WriteFields(out);
    out += ' ';
    out += Value;
}

bool NParserLink::ReadFields(std::string& line) {
    if (!NParserString::ReadFields(line)) return false;
    Second = TakeField(line);
    First = TakeField(line);
    return true;
}

void NParserLink::WriteFields(std::string& out) const {
    NParserString::WriteFields(out);
    out += ' ';
    out += Second;
    out += ' ';
    out += First;
}

std::unique_ptr<NParserString> MakeParserRecord(long long kind) {
    switch (kind) {
    case ParserKindClassHdr: return std::make_unique<NParserClassHdr>();
    case ParserKindObjectHdr: return std::make_unique<NParserObjectHdr>();
    case ParserKindParameter: return std::make_unique<NParserParameter>();
    case ParserKindLink: return std::make_unique<NParserLink>();
    case ParserKindBlockOpen: return std::make_unique<NParserBlockOpen>();
    case ParserKindBlockClose: return std::make_unique<NParserBlockClose>();
    default: return nullptr;
    }
}

std::string RecordLine(const NParserString& record) {
    std::string line;
    record.WriteFields(line);
    return line;
}

} // namespace talvero
