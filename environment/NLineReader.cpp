#include "environment/NLineReader.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>

namespace talvero {

namespace {

std::size_t SizeOf(std::FILE* file) {
    struct stat status;
    if (!file || ::fstat(fileno(file), &status) != 0 || status.st_size <= 0) return 0;
    return static_cast<std::size_t>(status.st_size);
}

// Small files (included pieces) take a small chunk; a large one is read in fewer, larger pieces,
// each a call to the system.
std::size_t ChunkSizeFor(std::size_t fileSize) {
    constexpr std::size_t smallest = 16 * 1024, largest = 256 * 1024;
    return std::clamp(fileSize, smallest, largest);
}

} // namespace

NLineReader::NLineReader(std::FILE* file, std::size_t maxLength)
    : File(file), FileSize(SizeOf(file)), MaxLength(maxLength) {
    ChunkSize = ChunkSizeFor(FileSize);
    Chunk.reset(new char[ChunkSize]);
}

NLineReader::NLineReader(const char* data, std::size_t size, std::size_t maxLength)
    : Data(data), Size(size), MaxLength(maxLength) {}

bool NLineReader::Refill() {
    if (!File) return false;
    Size = std::fread(Chunk.get(), 1, ChunkSize, File);
    Fetched += Size;
    Pos = 0;
    Data = Chunk.get();
    if (Size == 0) {
        if (std::ferror(File)) Failed = true;
        return false;
    }
    return true;
}

NLineRead NLineReader::Next(std::string& line) {
    line.clear();
    bool any = false;
    for (;;) {
        if (Pos == Size && !Refill()) {
            AtEnd = true;
            if (Failed) return NLineRead::Failed;
            if (!any) return NLineRead::End;
            return line.size() > MaxLength ? NLineRead::TooLong : NLineRead::Line;
        }
        const char* start = Data + Pos;
        const void* feed = std::memchr(start, '\n', Size - Pos);
        const std::size_t n = feed ? static_cast<std::size_t>(static_cast<const char*>(feed) - start) : Size - Pos;
        any = true;
        // One more than the limit leaves room for a carriage return before the line feed.
        if (line.size() + n > MaxLength + 1) return NLineRead::TooLong;
        line.append(start, n);
        Pos += n;
        if (feed) {
            ++Pos;
            if (!line.empty() && line.back() == '\r') line.pop_back();
            return line.size() > MaxLength ? NLineRead::TooLong : NLineRead::Line;
        }
    }
}

NLineRead NLineReader::Next(std::string_view& line, std::string& storage) {
    if (Pos < Size) {
        const char* start = Data + Pos;
        if (const void* feed = std::memchr(start, '\n', Size - Pos)) {
            std::size_t n = static_cast<std::size_t>(static_cast<const char*>(feed) - start);
            // Longer, it is refused as the copying read refuses it.
            if (n <= MaxLength + 1) {
                Pos += n + 1;
                if (n > 0 && start[n - 1] == '\r') --n;
                line = std::string_view(start, n);
                return n > MaxLength ? NLineRead::TooLong : NLineRead::Line;
            }
        }
    }
    const NLineRead read = Next(storage);
    line = storage;
    return read;
}

std::FILE* OpenRegularFileForReading(const std::string& fileName) {
    if (fileName.find('\0') != std::string::npos) return nullptr;
    struct stat status;
    if (::stat(fileName.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) return nullptr;
    return std::fopen(fileName.c_str(), "rb");
}

} // namespace talvero
