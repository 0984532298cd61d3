#pragma once
// Analog-to-digital convertor: a pulse item with an analog input port. The conversion itself,
// its parameters and state belong to the subclasses.

#include "elements/NComponentSlots.h"
#include "elements/NSimpleAConnector.h"
#include "kernel/NAbstractItem.h"

namespace talvero {

class NADConvertor : public NWithInput<NADConvertor, NItem, NSimpleAConnector> {
public:
    NADConvertor(NBasicDescription* owner, const char* name);
    ~NADConvertor() override;
};

} // namespace talvero
