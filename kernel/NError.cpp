#include "kernel/NError.h"

#include "kernel/Cp1251.h"

namespace talvero {

NError::NError() : Code(0), Type(2) {}

NError::NError(std::uint32_t code, std::int32_t type, std::string level, std::string message)
    : Code(code), Type(type == 1 || type == 2 ? type : 1), Level(std::move(level)), Message(std::move(message)) {}

NError::NError(const NError& other) : Code(other.Code), Type(1), Level(other.Level), Message(other.Message) {}

NError& NError::operator=(const NError& other) {
    Code = other.Code;
    Type = 1;
    Level = other.Level;
    Message = other.Message;
    return *this;
}

namespace {

struct ErrorState {
    std::map<std::uint32_t, NError> Table;
    std::uint32_t LastCode = 0;
    std::string LastInfo;
    NErrorLocation LastLocation;
};

// Constructed on first use so that registration from static constructors is safe.
ErrorState& State() {
    static ErrorState state;
    return state;
}

} // namespace

bool ReportError(std::uint32_t code, const std::string& information) {
    ErrorState& s = State();
    s.LastCode = code;
    s.LastInfo = information;
    if (s.LastLocation.IsKnown()) s.LastLocation = NErrorLocation();
    return code == 0;
}

bool ReportErrorAt(std::uint32_t code, const std::string& information, NErrorLocation location) {
    const bool result = ReportError(code, information);
    State().LastLocation = std::move(location);
    return result;
}

void SetLastErrorLocation(NErrorLocation location) { State().LastLocation = std::move(location); }

const NErrorLocation& GetLastErrorLocation() { return State().LastLocation; }

std::string FormatErrorLocation(const NErrorLocation& location) {
    if (!location.IsKnown()) return std::string();
    std::string text = location.File + ":" + std::to_string(location.Line);
    if (location.Column > 0) text += ":" + std::to_string(location.Column);
    if (!location.Text.empty()) text += ": " + location.Text;
    for (const auto& [file, line] : location.IncludedFrom)
        text += "\n  included from " + file + ":" + std::to_string(line);
    return text;
}

bool ReportError(std::uint32_t code, const char* information) {
    return ReportError(code, std::string(information ? information : ""));
}

NError TakeLastError() {
    ErrorState& s = State();
    const std::uint32_t code = s.LastCode;
    s.LastCode = 0;
    auto it = s.Table.find(code);
    if (it == s.Table.end()) return NError();
    return it->second;
}

std::string GetLastErrorInfo() { return State().LastInfo; }

std::uint32_t PeekLastErrorCode() { return State().LastCode; }

void RegisterError(std::uint32_t code, std::int32_t type, const std::string& level, const std::string& message) {
    State().Table[code] = NError(code, type, level, message);
}

void RegisterErrorUtf8(std::uint32_t code, std::int32_t type, const std::string& level, const std::string& utf8Message) {
    RegisterError(code, type, level, Utf8ToCp1251(utf8Message));
}

const std::map<std::uint32_t, NError>& GetErrorTable() { return State().Table; }

void RegisterKernelErrors() {
    static const struct {
        std::uint32_t Code;
        const char* Message;
    } rows[] = {
        {0, "Нет ошибки"},
        {1, "Недопустимое имя объекта"},
        {2, "Имя уже используется"},
        {3, "Объект не найден"},
        {4, "Объект не существует"},
        {5, "Недопустимый тип объекта"},
        {10, "Компонент данного типа не поддерживается"},
        {11, "Компонент уже присутствует в объекте"},
        {12, "Объект данного типа не может являться владельцем компонента"},
        {13, "Удаление компонента невозоможно так как он не принадлежит данному объекту"},
        {14, "Добавление компонента невозоможно так как он не является дочерним для данного объекта"},
        {20, "Неизвестный параметр"},
        {21, "Недопустимое значение параметра"},
        {30, "Нельзя подключить ещё один объект"},
        {31, "Подключение уже произведено"},
        {32, "Нельзя подключить объект данного типа"},
        {40, "Сеть уже присутствует в модели"},
        {41, "Модель не может иметь владельца"},
        {42, "Не установлена активная модель"},
    };
    for (const auto& row : rows)
        RegisterErrorUtf8(row.Code, 2, row.Code == 0 ? "" : "Kernel Level 1", row.Message);
}

} // namespace talvero
