#pragma once
// Checkpoints: the whole dynamic state of a loaded model (every object's state, the recorded
// points, the clock, the parameters in force) as one block of bytes or a `.tvs` file, and back.
// A checkpoint names the model it belongs to by a fingerprint of the model's structure; restoring
// one that does not fit, or that is damaged, truncated or of a newer version, is refused with an
// error and leaves the model as it was.

#include <cstdint>
#include <string>

#include "kernel/NClock.h"

namespace talvero {

class NBasicDescription;
class NModel;

inline constexpr std::uint32_t kCheckpointVersion = 1;

struct NCheckpointInfo {
    std::uint32_t Version = 0;
    std::uint64_t Fingerprint = 0;
    double ModelTime = 0;
    std::uint64_t Steps = 0;
    std::int64_t WrittenAt = 0;  // seconds since 1970, UTC
};

// The names, classes and order of the model's objects: what a checkpoint must fit.
std::uint64_t ModelFingerprint(NModel& model);

// The checkpoint of `model` appended to `out`.
void SaveCheckpoint(NModel& model, std::string& out);
// Replaces the model's state by the checkpoint's; false with the error reported when refused.
bool RestoreCheckpoint(NModel& model, const char* data, std::size_t size);
// The header alone, checked as far as it goes (not against a model).
bool ReadCheckpointInfo(const char* data, std::size_t size, NCheckpointInfo& info);

// The same through a file, written in one piece (a failed write keeps the previous file).
bool WriteCheckpointFile(NModel& model, const std::string& path);
bool ReadCheckpointFile(NModel& model, const std::string& path);
bool ReadCheckpointFileInfo(const std::string& path, NCheckpointInfo& info);

// The state of `object` and its components (SaveState and the step state), and back: to put an
// object's state back after something reset it.
std::string ObjectState(NBasicDescription& object);
bool LoadObjectState(NBasicDescription& object, const std::string& state);

void RegisterCheckpointErrors();

} // namespace talvero
