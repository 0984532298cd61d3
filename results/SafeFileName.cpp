#include "results/SafeFileName.h"

#include <cctype>

namespace talvero {

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

} // namespace talvero
