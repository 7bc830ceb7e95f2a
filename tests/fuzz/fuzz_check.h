// A property that does not hold ends the run as a finding: libFuzzer keeps
// the input that broke it.
#ifndef ZORVEX_TESTS_FUZZ_CHECK_H
#define ZORVEX_TESTS_FUZZ_CHECK_H

#include <cstdlib>

inline void check(bool holds) {
    if (!holds) {
        std::abort();
    }
}

#endif
