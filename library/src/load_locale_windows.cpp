// The library's load-time step on Windows: select the Japanese locale in the
// C runtime this library shares with its caller, so that the caller
// converts wide text as Japanese. Loading never depends on the outcome.
#include <windows.h>

#include <clocale>

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        std::setlocale(LC_ALL, "japanese");
    }
    return TRUE;
}
