#include "sources/NSource.h"

namespace talvero {

NSource::NSource(NBasicDescription* owner, const char* name)
    : NAbstractItem(owner, name), NAbstractSource(owner, name), NItem(owner, name) {}

} // namespace talvero
