#include "environment/NAtomicFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <random>

namespace talvero {
namespace {

constexpr std::size_t kBufferSize = 1 << 16;

std::string DirectoryOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Follows a chain of symlinks to the file it finally names (which need not exist yet).
std::string ResolveLinks(std::string path) {
    for (int hop = 0; hop < 40; ++hop) {
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
        std::string link(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 4096) + 1, '\0');
        const ssize_t n = ::readlink(path.c_str(), link.data(), link.size());
        if (n <= 0) return path;
        link.resize(static_cast<std::size_t>(n));
        path = link.front() == '/' ? link : DirectoryOf(path) + "/" + link;
    }
    return path;  // a loop: opening will fail with the system's reason
}

// The temporaries a signal handler removes: plain pointers in lock-free slots. A slot's string is
// freed only while no handler is reading the slots (one that starts later finds the slot empty).
constexpr int kSlots = 4096;
std::atomic<char*> TemporarySlots[kSlots];
std::atomic<int> CleanupsRunning{0};

int RememberTemporary(const std::string& path) {
    char* copy = ::strdup(path.c_str());
    if (!copy) return -1;
    for (int i = 0; i < kSlots; ++i) {
        char* expected = nullptr;
        if (TemporarySlots[i].compare_exchange_strong(expected, copy)) return i;
    }
    std::free(copy);
    return -1;
}

void ForgetSlot(int slot) {
    if (slot < 0) return;
    char* path = TemporarySlots[slot].exchange(nullptr);
    if (CleanupsRunning.load() == 0) std::free(path);
}

bool IsHex(const char* text, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i)
        if (!std::isxdigit(static_cast<unsigned char>(text[i]))) return false;
    return text[count] == '\0';
}

// Temporaries of `resolved` whose writer is gone: ".~" then the writer's id and a random part, 8 hex
// digits each. Names from before the id was part of them (12 hex digits) count as gone once they
// have not changed for a minute.
void RemoveStaleTemporaries(const std::string& resolved) {
    const auto slash = resolved.find_last_of('/');
    const std::string directory = DirectoryOf(resolved);
    const std::string prefix = (slash == std::string::npos ? resolved : resolved.substr(slash + 1)) + ".~";
    DIR* dir = ::opendir(directory.c_str());
    if (!dir) return;
    while (const dirent* entry = ::readdir(dir)) {
        const char* name = entry->d_name;
        if (std::strncmp(name, prefix.c_str(), prefix.size()) != 0) continue;
        const char* tail = name + prefix.size();
        const std::string path = directory + "/" + name;
        bool stale = false;
        if (IsHex(tail, 16)) {
            const long pid = std::strtol(std::string(tail, 8).c_str(), nullptr, 16);
            stale = pid > 0 && pid != ::getpid() && ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
        } else if (IsHex(tail, 12)) {
            struct stat st {};
            stale = ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_mtime + 60 < std::time(nullptr);
        }
        if (stale) ::unlink(path.c_str());
    }
    ::closedir(dir);
}

bool WriteAll(int fd, const char* data, std::size_t size, int& error) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            error = errno;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

NAtomicFile::NAtomicFile(std::string target) : Target(std::move(target)) {}

NAtomicFile::~NAtomicFile() { Abandon(); }

bool NAtomicFile::Fail(int error) {
    Error = std::strerror(error);
    return false;
}

bool NAtomicFile::Fail(const char* reason) {
    Error = reason;
    return false;
}

bool NAtomicFile::OpenInPlace(bool fifo) {
    // A FIFO nobody reads would block the open for ever: refused instead.
    Fd = ::open(Resolved.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY | (fifo ? O_NONBLOCK : 0));
    if (Fd < 0) return errno == ENXIO && fifo ? Fail("no process reads from this FIFO") : Fail(errno);
    if (fifo) ::fcntl(Fd, F_SETFL, ::fcntl(Fd, F_GETFL) & ~O_NONBLOCK);
    InPlace = true;
    Buffer.reserve(kBufferSize);
    return true;
}

bool NAtomicFile::Open() {
    Abandon();
    Error.clear();
    InPlace = false;
    Flushed = false;
    if (Target.empty() || Target.find('\0') != std::string::npos) return Fail(ENOENT);
    Resolved = ResolveLinks(Target);
    struct stat st {};
    const bool exists = ::stat(Resolved.c_str(), &st) == 0;
    // A loop of links, a name too long, a folder that may not be searched: said as such, not
    // taken for a file yet to be made.
    if (!exists && errno != ENOENT) return Fail(errno);
    if (exists && S_ISDIR(st.st_mode)) return Fail(EISDIR);
    if (exists && S_ISSOCK(st.st_mode)) return Fail("it is a socket, not a file");
    if (exists && (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode) || S_ISFIFO(st.st_mode)))
        return OpenInPlace(S_ISFIFO(st.st_mode));

    RemoveStaleTemporaries(Resolved);
    thread_local std::mt19937_64 random{std::random_device{}() ^ static_cast<unsigned long long>(::getpid())};
    for (int attempt = 0; attempt < 100; ++attempt) {
        char suffix[32];
        std::snprintf(suffix, sizeof suffix, ".~%08lx%08llx", static_cast<unsigned long>(::getpid()) & 0xFFFFFFFFul,
                      static_cast<unsigned long long>(random() & 0xFFFFFFFFull));
        Temporary = Resolved + suffix;
        // Known before it exists, so that a signal cannot come between its making and its listing.
        Slot = RememberTemporary(Temporary);
        Fd = ::open(Temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
        if (Fd >= 0) break;
        const int error = errno;
        ForgetTemporary();
        if (error != EEXIST) return Fail(error);
    }
    if (Fd < 0) return Fail(EEXIST);
    // The replaced file's permissions stay; a new file gets what the umask allows.
    if (exists && ::fchmod(Fd, st.st_mode & 07777) != 0) {
        const int error = errno;
        Abandon();
        return Fail(error);
    }
    Buffer.reserve(kBufferSize);
    return true;
}

bool NAtomicFile::Flush() {
    if (Fd < 0) return Error.empty() ? Fail(EBADF) : false;
    if (Buffer.empty()) return true;
    int error = 0;
    Flushed = true;
    const bool ok = WriteAll(Fd, Buffer.data(), Buffer.size(), error);
    Buffer.clear();
    return ok || Fail(error);
}

bool NAtomicFile::Write(const char* data, std::size_t size) {
    if (Fd < 0) return Error.empty() ? Fail(EBADF) : false;
    if (Buffer.size() + size > kBufferSize && !Flush()) return false;
    if (size >= kBufferSize) {
        int error = 0;
        Flushed = true;
        return WriteAll(Fd, data, size, error) || Fail(error);
    }
    Buffer.append(data, size);
    return true;
}

bool NAtomicFile::Rewind() {
    if (Fd < 0) return Fail(EBADF);
    Buffer.clear();
    if (InPlace) return !Flushed || Fail(ESPIPE);
    if (::ftruncate(Fd, 0) != 0 || ::lseek(Fd, 0, SEEK_SET) != 0) return Fail(errno);
    return true;
}

bool NAtomicFile::Finish() {
    if (Finished) return true;
    if (!Flush()) return Abandon(), false;
    int error = !Durable || ::fsync(Fd) == 0 ? 0 : errno;
    // Terminals, pipes and the like have nothing to sync.
    if (InPlace && (error == EINVAL || error == EROFS || error == ENOTSUP)) error = 0;
    if (::close(Fd) != 0 && error == 0) error = errno;
    Fd = -1;
    if (error != 0) {
        Fail(error);
        return Abandon(), false;
    }
    Finished = true;
    return true;
}

bool NAtomicFile::Commit() {
    if (!Finish()) return false;
    if (InPlace) {
        Finished = false;
        InPlace = false;
        return true;
    }
    // Made a device, FIFO or folder while we wrote: still not renamed over.
    struct stat st {};
    if (::lstat(Resolved.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
        Fail(S_ISDIR(st.st_mode) ? "it became a directory" : "it is no longer a regular file");
        return Abandon(), false;
    }
    if (std::rename(Temporary.c_str(), Resolved.c_str()) != 0) {
        Fail(errno);
        return Abandon(), false;
    }
    ForgetTemporary();
    Finished = false;
    // The rename itself lasts only once the folder is on disk.
    const int dir = Durable ? ::open(DirectoryOf(Resolved).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1;
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

void NAtomicFile::Abandon() {
    if (Fd >= 0) ::close(Fd);
    Fd = -1;
    Finished = false;
    Buffer.clear();
    if (!Temporary.empty()) ::unlink(Temporary.c_str());
    ForgetTemporary();
}

void NAtomicFile::ForgetTemporary() {
    ForgetSlot(Slot);
    Slot = -1;
    Temporary.clear();
}

bool WriteFileAtomically(const std::string& path, const std::string& content, std::string* error) {
    NAtomicFile file(path);
    const bool ok = file.Open() && file.Write(content) && file.Commit();
    if (!ok && error) *error = file.GetError();
    return ok;
}

void RemoveAtomicTemporaries() {
    CleanupsRunning.fetch_add(1);
    for (auto& slot : TemporarySlots)
        if (const char* path = slot.load()) ::unlink(path);
    CleanupsRunning.fetch_sub(1);
}

} // namespace talvero
