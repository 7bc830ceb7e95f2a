/* A C program that calls all five exports of zorvex.dll, with its own
 * string buffers: what a caller built by another compiler does.
 * Usage: c_caller <zorvex.dll> <scratch scenario file>. Exit code 0 when
 * every check held; each failed check is printed. The scenario it writes
 * is the simulated library's; for the hardware library, "c_caller
 * --scenario FILE" writes it, and the chips must be made from it before
 * c_caller runs. Where Linux's own hid_mcp2221 holds the chips (the Linux
 * VM's ZORVEX_VM_DRIVER=mcp2221), no flash write passes the driver, and
 * setMcp2221aForZorvex must say so. */
#if !defined(_WIN32)
#define _POSIX_C_SOURCE 200809L
#endif
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "c_check.h"
#include "zorvex.h"

#if defined(_WIN32)
/* The build passes Unix paths; under Wine the root is drive Z:. */
static void* openLibrary(const char* path) {
    char windowsPath[1024];
    snprintf(windowsPath, sizeof windowsPath, "%s%s", path[0] == '/' ? "Z:" : "", path);
    for (char* c = windowsPath; *c != '\0'; ++c) {
        *c = *c == '/' ? '\\' : *c;
    }
    return (void*)LoadLibraryA(windowsPath);
}
static void* symbol(void* library, const char* name) {
    return (void*)GetProcAddress((HMODULE)library, name);
}
static void closeLibrary(void* library) {
    FreeLibrary((HMODULE)library);
}
/* The library reads the runtime's copy of the environment. */
static void useScenario(const char* path) {
    _putenv_s("ZORVEX_SIM_DEVICES", path);
}
#else
#include <dlfcn.h>
static void* openLibrary(const char* path) {
    return dlopen(path, RTLD_NOW);
}
static void* symbol(void* library, const char* name) {
    return dlsym(library, name);
}
static void closeLibrary(void* library) {
    dlclose(library);
}
static void useScenario(const char* path) {
    setenv("ZORVEX_SIM_DEVICES", path, 1);
}
#endif

/* True when `text` holds exactly the ASCII string `expected`. */
static bool holds(const WideText* text, const char* expected) {
    const uint32_t length = (uint32_t)strlen(expected);
    if (text->units == NULL || text->length != length || text->units[length] != 0) {
        return false;
    }
    for (uint32_t i = 0; i < length; ++i) {
        if (text->units[i] != (uint16_t)(unsigned char)expected[i]) {
            return false;
        }
    }
    return true;
}

static const char kScenario[] =
    "{\"devices\": [\n"
    " {\"vendorId\": 1240, \"productId\": 221, \"manufacturer\": \"Microchip Technology Inc.\",\n"
    "  \"product\": \"MCP2221 USB-I2C/UART Combo\"},\n"
    " {\"vendorId\": 1133, \"productId\": 50475, \"product\": \"USB Keyboard\"},\n"
    " {\"vendorId\": 1240, \"productId\": 221, \"manufacturer\": \"Maker\",\n"
    "  \"product\": \"DELOQ-72N SWITCHER\", \"gpSettings\": [0, 0, 17, 0]}\n"
    "]}\n";

static bool writeScenario(const char* path) {
    FILE* scenario = fopen(path, "wb");
    if (scenario == NULL || fputs(kScenario, scenario) < 0 || fclose(scenario) != 0) {
        printf("cannot write %s\n", path);
        return false;
    }
    return true;
}

int main(int argc, char* argv[]) {
    if (argc != 3) {
        fputs("usage: c_caller <zorvex.dll> <scenario file>\n", stderr);
        return 2;
    }
    if (strcmp(argv[1], "--scenario") == 0) {
        return writeScenario(argv[2]) ? 0 : 1;
    }
    if (!writeScenario(argv[2])) {
        return 1;
    }
    useScenario(argv[2]);

    void* library = openLibrary(argv[1]);
    if (library == NULL) {
        printf("cannot load %s\n", argv[1]);
        return 1;
    }
    GetMcp2221aNumFn getMcp2221aNum = (GetMcp2221aNumFn)symbol(library, "getMcp2221aNum");
    GetZorvexNumFn getZorvexNum = (GetZorvexNumFn)symbol(library, "getZorvexNum");
    GetMcp2221aInfoFn getMcp2221aInfo = (GetMcp2221aInfoFn)symbol(library, "getMcp2221aInfo");
    SetMcp2221aForZorvexFn setMcp2221aForZorvex =
        (SetMcp2221aForZorvexFn)symbol(library, "setMcp2221aForZorvex");
    SwitchZorvexFn switchZorvex = (SwitchZorvexFn)symbol(library, "switchZorvex");
    if (!getMcp2221aNum || !getZorvexNum || !getMcp2221aInfo || !setMcp2221aForZorvex ||
        !switchZorvex) {
        puts("an entry point is missing");
        closeLibrary(library);
        return 1;
    }

    CHECK(getMcp2221aNum() == 2);
    CHECK(getZorvexNum() == 1);

    /* Buffers of the caller's own, large enough for any USB string: the
     * library copies into them and allocates nothing. */
    uint16_t manufacturerUnits[257];
    uint16_t productUnits[257];
    WideText manufacturer = {manufacturerUnits, 0, 257, 0};
    WideText product = {productUnits, 0, 257, 0};
    CHECK(getMcp2221aInfo(1, &manufacturer, &product));
    CHECK(holds(&manufacturer, "Maker") && holds(&product, "DELOQ-72N SWITCHER"));
    CHECK(manufacturer.units == manufacturerUnits && !manufacturer.owned);
    CHECK(product.units == productUnits && !product.owned);

    /* A chip that is not there leaves the texts as they were. */
    CHECK(!getMcp2221aInfo(2, &manufacturer, &product));
    CHECK(holds(&manufacturer, "Maker"));

    /* A buffer too small is left alone, past its capacity too: the library
     * allocates one that zorvexReleaseText frees. */
    uint16_t small[5] = {1, 2, 3, 4, 0xBEEF};
    WideText cramped = {small, 0, 4, 0};
    WideText unset = {NULL, 0, 0, 0};
    CHECK(getMcp2221aInfo(0, &cramped, &unset));
    CHECK(holds(&cramped, "Microchip Technology Inc.") && cramped.owned);
    CHECK(holds(&unset, "MCP2221 USB-I2C/UART Combo") && unset.owned);
    CHECK(small[0] == 1 && small[3] == 4 && small[4] == 0xBEEF);
    zorvexReleaseText(&cramped);
    zorvexReleaseText(&unset);
    CHECK(cramped.units == NULL && cramped.capacity == 0 && cramped.owned == 0);

    const char* driver = getenv("ZORVEX_VM_DRIVER");
    const bool flashReachable = driver == NULL || strcmp(driver, "mcp2221") != 0;
    CHECK(switchZorvex(0, 1));
    CHECK(!switchZorvex(1, 1));
    CHECK(setMcp2221aForZorvex(0) == flashReachable);
    CHECK(!setMcp2221aForZorvex(2));

    closeLibrary(library);
    if (failures == 0) {
        puts("all exports answered as expected");
    }
    return failures == 0 ? 0 : 1;
}
