#include "failing_allocator.h"

#include <cstdlib>
#include <new>

namespace {

long allocationsBeforeFailure = -1;
bool failed = false;

}  // namespace

namespace zorvex::test {

void failAllocationAfter(long count) {
    allocationsBeforeFailure = count;
    failed = false;
}

bool allocationFailed() {
    return failed;
}

}  // namespace zorvex::test

void* operator new(std::size_t size) {
    if (allocationsBeforeFailure == 0) {
        failed = true;
        throw std::bad_alloc();
    }
    if (allocationsBeforeFailure > 0) {
        --allocationsBeforeFailure;
    }
    if (void* block = std::malloc(size == 0 ? 1 : size)) {
        return block;
    }
    throw std::bad_alloc();
}

void operator delete(void* block) noexcept {
    std::free(block);
}
void operator delete(void* block, std::size_t) noexcept {
    std::free(block);
}
