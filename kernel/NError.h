#pragma once
// Error records, the process-wide error table and the last error.
// Nothing in the kernel throws: a failing operation reports a code and returns false/0/null.

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace talvero {

// Where in a model description an error arose. An unknown location has an empty file name.
struct NErrorLocation {
    std::string File;
    std::uint32_t Line = 0;    // 1-based
    std::uint32_t Column = 0;  // 1-based; 0 when the error is about a whole line
    std::string Text;          // the word or line in question
    // The includes that led to File, innermost first: (including file, line of the include).
    std::vector<std::pair<std::string, std::uint32_t>> IncludedFrom;

    bool IsKnown() const { return !File.empty(); }
};

class NError {
public:
    NError();
    NError(std::uint32_t code, std::int32_t type, std::string level, std::string message);
    NError(const NError& other);
    NError& operator=(const NError& other);

    std::uint32_t GetCode() const { return Code; }
    std::int32_t GetType() const { return Type; }
    const std::string& GetLevel() const { return Level; }
    const std::string& GetMessage() const { return Message; }

private:
    std::uint32_t Code;
    std::int32_t Type;
    std::string Level;
    std::string Message;
};

// Records code and information as the last error; true only for code 0.
bool ReportError(std::uint32_t code, const std::string& information = std::string());
bool ReportError(std::uint32_t code, const char* information);

// Reports like ReportError and records where the error arose. A plain ReportError forgets the
// location, so a location never outlives the error it belongs to.
bool ReportErrorAt(std::uint32_t code, const std::string& information, NErrorLocation location);
// Attaches a location to the error already reported (which kept its code and information).
void SetLastErrorLocation(NErrorLocation location);
// The location of the last report; never reset by TakeLastError.
const NErrorLocation& GetLastErrorLocation();
// "FILE:LINE:COLUMN: TEXT" (":COLUMN" left out when unknown), then one "  included from FILE:LINE"
// line per include; empty for an unknown location.
std::string FormatErrorLocation(const NErrorLocation& location);

// The registered record of the last error code (default record if unregistered); resets the code to 0.
NError TakeLastError();
// The information string of the last report; never reset.
std::string GetLastErrorInfo();
// Code of the last report, without taking it.
std::uint32_t PeekLastErrorCode();

// Writes (or replaces) a row of the table. Level and message are cp1251 byte strings.
void RegisterError(std::uint32_t code, std::int32_t type, const std::string& level, const std::string& message);
// Same, with the message given in UTF-8 (converted to cp1251 once, here).
void RegisterErrorUtf8(std::uint32_t code, std::int32_t type, const std::string& level, const std::string& utf8Message);

// The whole table, ordered by code.
const std::map<std::uint32_t, NError>& GetErrorTable();

// Writes the "Kernel Level 1" rows.
void RegisterKernelErrors();

} // namespace talvero
