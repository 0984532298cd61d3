#include "sources/NOutGate.h"

#include <cstring>

namespace talvero {

bool NOutGate::CheckName(const char* name) { return !name || std::strcmp(name, GetInput()->GetName()) != 0; }

void NOutGate::Reset() { GetInput()->Reset(); }

} // namespace talvero
