#include "tools/BatchOutput.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>

#include "kernel/Cp1251.h"

namespace talvero::batch {

std::string GateFileName(const std::string& name) {
    // Room for ".csv" and the writer's temporary suffix within the usual 255 bytes of a name.
    constexpr std::size_t kLongest = 200;
    std::string file = SafeFileName(name);
    if (file.size() <= kLongest) return file;
    std::uint64_t hash = 14695981039346656037ull;  // FNV-1a
    for (unsigned char c : name) hash = (hash ^ c) * 1099511628211ull;
    std::size_t keep = kLongest - 17;
    // Cut neither a %XX nor a UTF-8 sequence.
    while (keep > 0 && ((file[keep] & 0xC0) == 0x80 || file[keep - 1] == '%' || (keep > 1 && file[keep - 2] == '%')))
        --keep;
    char suffix[24];
    // '~' never appears in SafeFileName's output, so a shortened name meets no other gate's.
    std::snprintf(suffix, sizeof suffix, "~%016llx", static_cast<unsigned long long>(hash));
    return file.substr(0, keep) + suffix;
}

FdOutputBuffer::FdOutputBuffer(int fd) : Fd(fd) { setp(Space, Space + sizeof Space); }

FdOutputBuffer::~FdOutputBuffer() { sync(); }

bool FdOutputBuffer::Send(const char* data, std::size_t size) {
    while (size > 0 && Error == 0) {
        const ssize_t n = ::write(Fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            Error = n < 0 ? errno : EIO;
            break;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return Error == 0;
}

int FdOutputBuffer::sync() {
    const bool ok = Send(pbase(), static_cast<std::size_t>(pptr() - pbase()));
    setp(Space, Space + sizeof Space);
    return ok ? 0 : -1;
}

FdOutputBuffer::int_type FdOutputBuffer::overflow(int_type c) {
    if (sync() != 0) return traits_type::eof();
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    *pptr() = traits_type::to_char_type(c);
    pbump(1);
    return c;
}

std::streamsize FdOutputBuffer::xsputn(const char* data, std::streamsize size) {
    if (size < epptr() - pptr()) {
        std::copy(data, data + size, pptr());
        pbump(static_cast<int>(size));
        return size;
    }
    if (sync() != 0 || !Send(data, static_cast<std::size_t>(size))) return 0;
    return size;
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
        Entries.push_back({gate, name, std::make_unique<NAtomicFile>(directory + "/" + GateFileName(name) + ".csv"),
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
