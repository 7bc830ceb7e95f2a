// Module loading on Windows. The executable's path is taken in UTF-16 and
// however long it is, so that no folder name is cut short or split at a
// Shift-JIS trail byte that happens to be 0x5C.
#include <windows.h>

#include <string>
#include <vector>

#include "library_binding.h"

namespace zorvex::console {

namespace {

std::wstring executablePath() {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) {
            return {};
        }
        if (length < buffer.size()) {
            return std::wstring(buffer.data(), length);
        }
        buffer.resize(buffer.size() * 2);
    }
}

}  // namespace

void* loadLibraryBesideExecutable(const char* fileName) {
    const std::wstring executable = executablePath();
    const std::size_t separator = executable.rfind(L'\\');
    std::wstring path =
        separator == std::wstring::npos ? std::wstring() : executable.substr(0, separator + 1);
    for (const char* c = fileName; *c != '\0'; ++c) {
        path.push_back(static_cast<wchar_t>(*c));  // the file name is ASCII
    }
    return LoadLibraryW(path.c_str());
}

void* findEntryPoint(void* library, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

void unloadLibrary(void* library) {
    FreeLibrary(static_cast<HMODULE>(library));
}

}  // namespace zorvex::console
