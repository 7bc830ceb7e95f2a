/* The C callers' check: a condition that does not hold is printed with its
 * place and counted in `failures`, and the program goes on. */
#ifndef ZORVEX_C_CHECK_H
#define ZORVEX_C_CHECK_H

#include <stdio.h>

static int failures = 0;

#define CHECK(condition)                                                   \
    do {                                                                   \
        if (!(condition)) {                                                \
            printf("%s:%d: failed: %s\n", __FILE__, __LINE__, #condition); \
            ++failures;                                                    \
        }                                                                  \
    } while (0)

#endif
