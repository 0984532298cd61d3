#include "tools/BatchOutput.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "kernel/Cp1251.h"

namespace talvero::batch {

std::string SafeFileName(const std::string& name) {
    static const char* const kHex = "0123456789ABCDEF";
    std::string file;
    for (std::size_t i = 0; i < name.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(name[i]);
        const bool plain = std::isalnum(c) || c == '_' || c == '-' || c >= 0x80 || (c == '.' && i > 0);
        if (plain) {
            file += static_cast<char>(c);
        } else {
            file += '%';
            file += kHex[c >> 4];
            file += kHex[c & 15];
        }
    }
    return file;
}

std::string CsvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string field = "\"";
    for (char c : text) {
        if (c == '"') field += '"';
        field += c;
    }
    return field + '"';
}

std::string CsvNumber(double value) {
    char buffer[32];
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
    return ec == std::errc() ? std::string(buffer, end) : std::string("nan");
}

std::string NonFiniteWatch::Describe() const {
    return "the out gate " + Gate + " recorded a value that is not finite at model time " + CsvNumber(Time) + " s";
}

void AppendGatePoints(const NAbstractOutGate& gate, const std::string& gateName, std::size_t count,
                      const std::string& prefix, std::string& text, NonFiniteWatch& watch) {
    auto x = gate.GetXBegin();
    auto y = gate.GetYBegin();
    for (std::size_t i = 0; i < count && x != gate.GetXEnd() && y != gate.GetYEnd(); ++i, ++x, ++y) {
        watch.Check(gateName, *x, *y);
        text += prefix;
        text += CsvNumber(*x);
        text += ',';
        text += CsvNumber(*y);
        text += '\n';
    }
}

bool GateFiles::Fail(const Entry& entry, std::string& error) {
    error = "cannot write " + entry.File->GetTarget() + ": " + entry.File->GetError();
    return false;
}

bool GateFiles::Open(const std::string& directory, const std::vector<NAbstractOutGate*>& gates,
                     std::string& error) {
    for (NAbstractOutGate* gate : gates) {
        // A gate asked for twice has one file; two writers would each drop points the other needs.
        if (std::any_of(Entries.begin(), Entries.end(), [&](const Entry& e) { return e.Gate == gate; })) continue;
        const std::string name = Cp1251ToUtf8(gate->GetName());
        Entries.push_back({gate, name, std::make_unique<NAtomicFile>(directory + "/" + SafeFileName(name) + ".csv"),
                           gate->GetRestartCount()});
        Entry& entry = Entries.back();
        if (!entry.File->Open() || !entry.File->Write("x,y\n")) return Fail(entry, error);
    }
    return true;
}

bool GateFiles::Drain(bool final, NonFiniteWatch& watch, std::string& error) {
    for (Entry& entry : Entries) {
        const NAbstractOutGate& gate = *entry.Gate;
        if (gate.GetRestartCount() != entry.Restarts) {
            // Recording was switched on again and cleared what was written so far.
            entry.Restarts = gate.GetRestartCount();
            if (!entry.File->Rewind() || !entry.File->Write("x,y\n")) return Fail(entry, error);
        }
        const std::size_t count = final ? gate.GetDataSize() : gate.GetSettledCount();
        if (count == 0) continue;
        Text.clear();
        AppendGatePoints(gate, entry.Name, count, "", Text, watch);
        if (!entry.File->Write(Text)) return Fail(entry, error);
        if (!final) entry.Gate->DropSettled(static_cast<unsigned>(count));
    }
    return true;
}

bool GateFiles::CommitAll(std::string& error) {
    for (Entry& entry : Entries)
        if (!entry.File->Finish()) return Fail(entry, error);
    for (std::size_t i = 0; i < Entries.size(); ++i) {
        if (Entries[i].File->Commit()) continue;
        Fail(Entries[i], error);
        if (i > 0) error += " (the files of the gates before it were replaced)";
        return false;
    }
    return true;
}

} // namespace talvero::batch
