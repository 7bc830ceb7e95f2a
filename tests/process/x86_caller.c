/* What only a 32-bit x86 caller can show of zorvex.dll, as a program built
 * by another compiler meets it: the five exports bound by their plain names
 * and called as __cdecl, the caller popping the arguments (a __stdcall
 * export pops them itself and leaves the caller's stack 4 bytes higher per
 * argument); and the layouts a 32-bit C compiler gives WideText and
 * SetupAPI's records. 64-bit Windows has one calling convention and other
 * sizes, so none of this can fail there.
 * Usage: x86_caller <zorvex.dll> <scratch scenario file>. Exit code 0 when
 * every check held; each failed check is printed. */
#include <stddef.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "c_check.h"
#include "zorvex.h"
/* After windows.h, which zorvex.h includes. */
#include <setupapi.h>

#if !defined(_WIN32) || !defined(__i386__)
#error "a 32-bit x86 Windows caller only"
#endif

/* Calls `function` with `count` 4-byte arguments pushed right to left and
 * pops them as a __cdecl caller does. Stores EAX in *result and returns how
 * far the stack pointer moved across the call: 0 for a __cdecl callee. EBX
 * and ESI hold the frame; every convention preserves them. */
int callCounted(const void* function, int count, const intptr_t* arguments, int* result);
/* One instruction a line. At the frame: 12 function, 16 count,
 * 20 arguments, 24 result. */
/* clang-format off */
__asm__(".text\n"
        ".globl _callCounted\n"
        "_callCounted:\n"
        "    pushl %ebx\n"
        "    pushl %esi\n"
        "    movl %esp, %ebx\n"
        "    movl 16(%ebx), %ecx\n"
        "    movl 20(%ebx), %esi\n"
        "1:  testl %ecx, %ecx\n"
        "    jz 2f\n"
        "    decl %ecx\n"
        "    pushl (%esi,%ecx,4)\n"
        "    jmp 1b\n"
        "2:  calll *12(%ebx)\n"
        "    movl 24(%ebx), %ecx\n"
        "    movl %eax, (%ecx)\n"
        "    movl 16(%ebx), %ecx\n"
        "    leal (%esp,%ecx,4), %esp\n"
        "    movl %esp, %eax\n"
        "    subl %ebx, %eax\n"
        "    movl %ebx, %esp\n"
        "    popl %esi\n"
        "    popl %ebx\n"
        "    ret\n");
/* clang-format on */

/* A bool comes back in AL; the rest of EAX is the callee's. */
static int returnedBool(int eax) {
    return eax & 0xFF;
}

static const char kScenario[] =
    "{\"devices\": [\n"
    " {\"vendorId\": 1240, \"productId\": 221, \"manufacturer\": \"Microchip Technology Inc.\",\n"
    "  \"product\": \"MCP2221 USB-I2C/UART Combo\"},\n"
    " {\"vendorId\": 1240, \"productId\": 221, \"manufacturer\": \"Maker\",\n"
    "  \"product\": \"DELOQ-72N SWITCHER\", \"gpSettings\": [0, 0, 17, 0]}\n"
    "]}\n";

int main(int argc, char* argv[]) {
    if (argc != 3) {
        fputs("usage: x86_caller <zorvex.dll> <scratch scenario file>\n", stderr);
        return 2;
    }
    FILE* scenario = fopen(argv[2], "wb");
    if (scenario == NULL || fputs(kScenario, scenario) < 0 || fclose(scenario) != 0) {
        printf("cannot write %s\n", argv[2]);
        return 1;
    }
    _putenv_s("ZORVEX_SIM_DEVICES", argv[2]);

    /* Layouts as the header documents them for 32-bit callers, and SetupAPI's
     * records as Windows' documentation sizes them (cbSize of the detail
     * record is 5 here, 8 on 64-bit). */
    CHECK(sizeof(void*) == 4);
    CHECK(sizeof(WideText) == 16 && offsetof(WideText, units) == 0 &&
          offsetof(WideText, length) == 4 && offsetof(WideText, capacity) == 8 &&
          offsetof(WideText, owned) == 12);
    CHECK(sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A) == 5);
    CHECK(sizeof(SP_DEVICE_INTERFACE_DATA) == 28);

    /* The build passes Unix paths; under Wine the root is drive Z:. */
    char path[1024];
    snprintf(path, sizeof path, "%s%s", argv[1][0] == '/' ? "Z:" : "", argv[1]);
    for (char* c = path; *c != '\0'; ++c) {
        *c = *c == '/' ? '\\' : *c;
    }
    HMODULE library = LoadLibraryA(path);
    if (library == NULL) {
        printf("cannot load %s\n", argv[1]);
        return 1;
    }
    /* Plain names only: a decorated export (_name, name@8) is not bound. */
    const char* const names[] = {"getMcp2221aNum", "getZorvexNum", "getMcp2221aInfo",
                                 "setMcp2221aForZorvex", "switchZorvex"};
    const void* exports[5];
    for (int i = 0; i < 5; ++i) {
        exports[i] = (const void*)GetProcAddress(library, names[i]);
        if (exports[i] == NULL) {
            printf("%s is not exported by that name\n", names[i]);
            FreeLibrary(library);
            return 1;
        }
    }

    int result = 0;
    CHECK(callCounted(exports[0], 0, NULL, &result) == 0 && result == 2);
    CHECK(callCounted(exports[1], 0, NULL, &result) == 0 && result == 1);

    uint16_t manufacturerUnits[257];
    uint16_t productUnits[257];
    WideText manufacturer = {manufacturerUnits, 0, 257, 0};
    WideText product = {productUnits, 0, 257, 0};
    const intptr_t info[] = {1, (intptr_t)&manufacturer, (intptr_t)&product};
    CHECK(callCounted(exports[2], 3, info, &result) == 0 && returnedBool(result));
    CHECK(manufacturer.length == 5 && manufacturer.units == manufacturerUnits &&
          manufacturerUnits[0] == 'M' && manufacturerUnits[5] == 0);
    CHECK(product.length == 18 && productUnits[17] == 'R' && productUnits[18] == 0);

    const intptr_t on[] = {0, 1};
    CHECK(callCounted(exports[4], 2, on, &result) == 0 && returnedBool(result));
    const intptr_t noSuchChip[] = {2};
    CHECK(callCounted(exports[3], 1, noSuchChip, &result) == 0 && !returnedBool(result));

    FreeLibrary(library);
    if (failures == 0) {
        puts("every export binds and is called as a 32-bit C caller does");
    }
    return failures == 0 ? 0 : 1;
}
