#pragma once
// Replacing a file in one piece. The content goes to a new temporary file beside the target
// (created exclusively under a unique name, so a planted link or a second writer cannot interfere);
// only a complete, synced file is renamed over the target, which keeps its permissions. A symlinked
// target is written through to the file the link names. A failure leaves the target as it was and
// no temporary file behind, and says why in the system's words.
//
// A target that exists and is not a regular file is never renamed over: a device or a FIFO is
// written in place (there is nothing to keep whole), a directory or a socket is refused.
// Temporary files carry the writing process's id, so that those of a process that is gone are
// removed by the next writer of the same target.

#include <string>

namespace talvero {

class NAtomicFile {
public:
    explicit NAtomicFile(std::string target);
    ~NAtomicFile();  // abandons an uncommitted file
    NAtomicFile(const NAtomicFile&) = delete;
    NAtomicFile& operator=(const NAtomicFile&) = delete;

    // Creates the temporary file (or opens a device or FIFO); false with GetError() set.
    bool Open();
    bool Write(const char* data, std::size_t size);
    bool Write(const std::string& text) { return Write(text.data(), text.size()); }
    // Empties the temporary file to start its content over. Written in place, only what has not
    // yet reached the device can be taken back ("Illegal seek" otherwise).
    bool Rewind();
    // Writes out, syncs and closes the temporary file: all that may fail for want of room.
    bool Finish();
    // Finishes, renames over the target and syncs the folder; false (target untouched) on failure.
    bool Commit();
    // Removes the temporary file.
    void Abandon();

    // Whether Finish and Commit wait for the file and its folder to reach the disk (the default).
    // A file that lives no longer than the process that writes it needs neither, and the waits
    // were most of the cost of writing it.
    void SetDurable(bool durable) { Durable = durable; }

    bool IsOpen() const { return Fd >= 0; }
    // True when the target is a device or FIFO written in place.
    bool IsInPlace() const { return InPlace; }
    const std::string& GetTarget() const { return Target; }
    const std::string& GetTemporaryPath() const { return Temporary; }
    // The system's reason for the last failure ("No space left on device", ...).
    const std::string& GetError() const { return Error; }

private:
    bool Fail(int error);
    bool Fail(const char* reason);
    bool Flush();
    bool OpenInPlace(bool fifo);
    void ForgetTemporary();

    std::string Target;     // as given
    std::string Resolved;   // the file a symlinked target names
    std::string Temporary;
    std::string Buffer;
    std::string Error;
    int Fd = -1;
    int Slot = -1;          // where the temporary is known to RemoveAtomicTemporaries
    bool Finished = false;
    bool InPlace = false;
    bool Flushed = false;   // something has reached the file
    bool Durable = true;
};

// The whole of `content` to `path` through NAtomicFile; the reason for a failure in `error`.
bool WriteFileAtomically(const std::string& path, const std::string& content, std::string* error = nullptr);

// Removes the temporary files of every NAtomicFile of this process not yet committed. Safe in a
// signal handler: a program that ends on SIGINT or SIGTERM calls it there first.
void RemoveAtomicTemporaries();

} // namespace talvero
