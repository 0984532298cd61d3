#include "environment/NAtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
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

bool NAtomicFile::Open() {
    Abandon();
    Error.clear();
    if (Target.empty() || Target.find('\0') != std::string::npos) return Fail(ENOENT);
    Resolved = ResolveLinks(Target);
    struct stat st {};
    const bool exists = ::stat(Resolved.c_str(), &st) == 0;
    if (exists && S_ISDIR(st.st_mode)) return Fail(EISDIR);

    thread_local std::mt19937_64 random{std::random_device{}() ^ static_cast<unsigned long long>(::getpid())};
    for (int attempt = 0; attempt < 100; ++attempt) {
        char suffix[24];
        std::snprintf(suffix, sizeof suffix, ".~%012llx", static_cast<unsigned long long>(random() & 0xFFFFFFFFFFFFull));
        Temporary = Resolved + suffix;
        Fd = ::open(Temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
        if (Fd >= 0) break;
        if (errno != EEXIST) {
            const int error = errno;
            Temporary.clear();
            return Fail(error);
        }
    }
    if (Fd < 0) {
        Temporary.clear();
        return Fail(EEXIST);
    }
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
    const bool ok = WriteAll(Fd, Buffer.data(), Buffer.size(), error);
    Buffer.clear();
    return ok || Fail(error);
}

bool NAtomicFile::Write(const char* data, std::size_t size) {
    if (Fd < 0) return Error.empty() ? Fail(EBADF) : false;
    if (Buffer.size() + size > kBufferSize && !Flush()) return false;
    if (size >= kBufferSize) {
        int error = 0;
        return WriteAll(Fd, data, size, error) || Fail(error);
    }
    Buffer.append(data, size);
    return true;
}

bool NAtomicFile::Rewind() {
    if (Fd < 0) return Fail(EBADF);
    Buffer.clear();
    if (::ftruncate(Fd, 0) != 0 || ::lseek(Fd, 0, SEEK_SET) != 0) return Fail(errno);
    return true;
}

bool NAtomicFile::Finish() {
    if (Finished) return true;
    if (!Flush()) return Abandon(), false;
    int error = ::fsync(Fd) == 0 ? 0 : errno;
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
    if (std::rename(Temporary.c_str(), Resolved.c_str()) != 0) {
        Fail(errno);
        return Abandon(), false;
    }
    Temporary.clear();
    Finished = false;
    // The rename itself lasts only once the folder is on disk.
    const int dir = ::open(DirectoryOf(Resolved).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
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
    Temporary.clear();
}

bool WriteFileAtomically(const std::string& path, const std::string& content, std::string* error) {
    NAtomicFile file(path);
    const bool ok = file.Open() && file.Write(content) && file.Commit();
    if (!ok && error) *error = file.GetError();
    return ok;
}

} // namespace talvero
