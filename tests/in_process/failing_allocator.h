// A global operator new that can be told to fail, for tests of how code
// behaves when memory runs out.
#ifndef ZORVEX_TESTS_FAILING_ALLOCATOR_H
#define ZORVEX_TESTS_FAILING_ALLOCATOR_H

namespace zorvex::test {

// The allocation after the next `count` ones throws std::bad_alloc; a
// negative count makes every allocation succeed again.
void failAllocationAfter(long count);

// Whether an allocation failed since the last failAllocationAfter.
bool allocationFailed();

}  // namespace zorvex::test

#endif
