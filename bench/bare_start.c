/* The least a console program can do: print one line and end. tools/bench
 * holds zorvex_cui's start against it. */
#include <stdio.h>

int main(void) {
    puts("Found Mcp2221a ... 0 unit.");
    return 0;
}
