#pragma once
// The built-in element classes of the description language, as prototypes in an environment's
// class registry.

#include <string>
#include <vector>

#include "environment/NEnvironment.h"

namespace talvero {

// Appends one prototype of every built-in class to the environment's registry, in registration
// order, each named with its class name and constructed with its owner (an earlier prototype, or
// the environment's model). A class whose name the registry already holds is not added again.
void RegisterBuiltinClasses(NEnvironment& environment);

// The class names RegisterBuiltinClasses registers, in its order.
std::vector<std::string> BuiltinClassNames();

// A new object of the built-in class of that name, constructed with `owner` and named with the
// class name (as the registry holds it), or null when no built-in class bears the name.
NBasicDescription* MakeBuiltinPrototype(const std::string& className, NBasicDescription* owner);

} // namespace talvero
