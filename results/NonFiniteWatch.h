#pragma once

#include <cmath>
#include <string>

namespace talvero {

// The earliest point at which a gate recorded a value that is not finite.
class NonFiniteWatch {
public:
    void Check(const std::string& gate, double x, double y) {
        if (std::isfinite(x) && std::isfinite(y)) return;
        if (Found && !(x < Time)) return;
        Found = true;
        Time = x;
        Gate = gate;
    }
    bool IsFound() const { return Found; }
    // "the out gate G recorded a value that is not finite at model time T s"
    std::string Describe() const;

private:
    bool Found = false;
    double Time = 0;
    std::string Gate;
};

} // namespace talvero
