#include "elements/NADConvertor.h"

namespace talvero {

NADConvertor::NADConvertor(NBasicDescription* owner, const char* name)
    : NAbstractItem(owner, name), NWithInput(owner, name) {}

NADConvertor::~NADConvertor() = default;

} // namespace talvero
