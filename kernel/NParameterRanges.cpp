#include "kernel/NParameterRanges.h"

#include <map>
#include <typeindex>

#include "kernel/NElementSupport.h"

namespace talvero {

namespace {

// Built on first use: classes register from static initializers in any order.
std::map<std::type_index, NRangeLookup>& Registry() {
    static std::map<std::type_index, NRangeLookup> registry;
    return registry;
}

} // namespace

bool RegisterParameterRanges(const std::type_info& type, NRangeLookup lookup) {
    Registry()[std::type_index(type)] = lookup;
    return true;
}

bool FindParameterRange(const NBasicDescription& object, const char* name, NRange& range) {
    const auto it = Registry().find(std::type_index(typeid(object)));
    return it != Registry().end() && it->second(name, range);
}

} // namespace talvero
