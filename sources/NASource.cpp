#include "sources/NASource.h"

namespace talvero {

NASource::NASource(NBasicDescription* owner, const char* name)
    : NAbstractItem(owner, name), NAbstractSource(owner, name), NAItem(owner, name) {}

} // namespace talvero
