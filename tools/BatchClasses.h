#pragma once
// The reference of the description language's classes: every built-in class and, for a model, its
// user classes, each with its parent, its components and its parameters (default, unit, admissible
// values) read from the classes themselves.

#include <iosfwd>
#include <string>

namespace talvero {
class NEnvironment;
}

namespace talvero::batch {

// The reference as Markdown: the built-in classes of `environment`'s registry, then its user classes
// (whose parents `userParents` gives, "name parent" per line).
std::string ClassReference(NEnvironment& environment, const std::string& userParents = std::string());

// --classes: the built-in classes, and with a MODEL (.tv, .btv or .tvp) also its user classes.
int PrintClasses(const std::string& modelPath, std::ostream& out, std::ostream& err);

} // namespace talvero::batch
