#pragma once
// Counts the heap allocations made while a piece of code runs. The counting replacements of the
// global allocation functions live in CountingAllocator.cpp; a test program that wants them links
// that file once (a replacement may be defined in one translation unit of a program only).

#include <cstddef>

namespace talvero::test {

void StartCountingAllocations();
// The allocations since the start; counting stops.
std::size_t StopCountingAllocations();

template <class F>
std::size_t CountAllocations(F&& f) {
    StartCountingAllocations();
    f();
    return StopCountingAllocations();
}

} // namespace talvero::test
