// A zorvex.dll that lacks switchZorvex, to show what the console does with a
// library that misses an entry point.
#include "zorvex.h"

extern "C" {
ZORVEX_API uint32_t ZORVEX_CALL getMcp2221aNum() {
    return 0;
}
ZORVEX_API uint32_t ZORVEX_CALL getZorvexNum() {
    return 0;
}
ZORVEX_API bool ZORVEX_CALL getMcp2221aInfo(uint32_t, WideText&, WideText&) {
    return false;
}
ZORVEX_API bool ZORVEX_CALL setMcp2221aForZorvex(uint32_t) {
    return false;
}
}
