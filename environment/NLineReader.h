#pragma once
// Line-by-line reading of description and binary model files, bounded in memory whatever the input.

#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>
#include <memory>

namespace talvero {

enum class NLineRead { Line, End, TooLong, Failed };

// Splits a file or a memory buffer into lines. A line feed ends a line and is not stored; a
// carriage return right before it is dropped too, so that files made on Windows read as they do
// there. Holds at most one line plus a carriage return.
class NLineReader {
public:
    NLineReader(std::FILE* file, std::size_t maxLength);
    NLineReader(const char* data, std::size_t size, std::size_t maxLength);

    // Line: `line` holds the next line. End: nothing was left to read. TooLong: the line has more
    // than maxLength characters (reading should stop). Failed: the input could not be read.
    NLineRead Next(std::string& line);
    // The same, with `line` a view of the reader's own buffer where the whole line lies in it (in
    // `storage` otherwise), valid until the next call: most lines need no copy.
    NLineRead Next(std::string_view& line, std::string& storage);

    // True when the last line read was ended by the end of the input rather than by a line feed
    // (so no further, empty, line follows it).
    bool EndedWithoutTerminator() const { return AtEnd; }
    // Bytes not yet handed out, as far as the size of the file when the reader was made tells.
    std::size_t Unread() const { return Size - Pos + (FileSize > Fetched ? FileSize - Fetched : 0); }

private:
    bool Refill();

    std::FILE* File = nullptr;
    std::unique_ptr<char[]> Chunk;  // not zero-filled: many small included files are read
    std::size_t ChunkSize = 0;
    std::size_t FileSize = 0;  // 0 for a buffer, or when unknown
    std::size_t Fetched = 0;   // bytes the file has given
    const char* Data = nullptr;
    std::size_t Size = 0;
    std::size_t Pos = 0;
    std::size_t MaxLength;
    bool Failed = false;
    bool AtEnd = false;
};

// Opens an existing regular file for reading in binary mode, or returns null. Directories, pipes
// and devices are refused: they would read as an error or block forever. A name holding a zero
// byte is refused too, since the system would see a different name.
std::FILE* OpenRegularFileForReading(const std::string& fileName);

} // namespace talvero
