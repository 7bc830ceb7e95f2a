#include "log.h"

#include <cstdarg>
#include <cstdio>

namespace zorvex::daemon {

void logLine(const char* format, ...) {
    std::va_list arguments;
    va_start(arguments, format);
    std::vfprintf(stderr, format, arguments);
    va_end(arguments);
    std::fputc('\n', stderr);
    std::fflush(stderr);
}

}  // namespace zorvex::daemon
