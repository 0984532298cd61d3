#pragma once

#include <string>

namespace talvero {

// A gate name (UTF-8) as a file name that stays in its folder: every byte but ASCII letters, digits,
// '_', '-', non-ASCII bytes and an inner '.' is written as %XX ('/' as %2F, "." and ".." start %2E).
std::string SafeFileName(const std::string& name);

} // namespace talvero
