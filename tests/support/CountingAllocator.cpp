// The global allocation functions of a test program, replaced by counting ones that forward to
// malloc/free; every form that can pair with another is replaced, so the sanitizer build sees
// matching malloc/free pairs only.

#include "support/CountingAllocator.h"

#include <cstdlib>
#include <new>

// The replacements below pair operator new with free on purpose.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

namespace {
std::size_t Allocations = 0;
bool Counting = false;

void* Allocate(std::size_t size) {
    if (Counting) ++Allocations;
    return std::malloc(size ? size : 1);
}
} // namespace

void* operator new(std::size_t size) {
    if (void* p = Allocate(size)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
    if (void* p = Allocate(size)) return p;
    throw std::bad_alloc();
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }

namespace talvero::test {

void StartCountingAllocations() {
    Allocations = 0;
    Counting = true;
}

std::size_t StopCountingAllocations() {
    Counting = false;
    return Allocations;
}

} // namespace talvero::test
