#include "import_hooks.h"

#include "pipe_server.h"
#include "standin_state.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <vector>

namespace zorvex::winefake {

namespace {

struct Counts {
    std::mutex mutex;
    std::vector<HMODULE> modules;
    std::set<HANDLE> events;
    // The thread serving each device handle the caller holds.
    std::map<HANDLE, HANDLE> servers;
};

Counts& counts() {
    static auto* const instance = new Counts;
    return *instance;
}

HANDLE WINAPI countedCreateEventW(LPSECURITY_ATTRIBUTES attributes, BOOL manualReset,
                                  BOOL initialState, LPCWSTR name) {
    const HANDLE event = CreateEventW(attributes, manualReset, initialState, name);
    if (event != nullptr) {
        const std::lock_guard<std::mutex> lock(counts().mutex);
        counts().events.insert(event);
    }
    return event;
}

HANDLE WINAPI preparedCreateFileA(LPCSTR path, DWORD access, DWORD share,
                                  LPSECURITY_ATTRIBUTES attributes, DWORD disposition, DWORD flags,
                                  HANDLE templateFile) {
    const auto device = path != nullptr ? deviceOfPipeName(path) : std::nullopt;
    const HANDLE server = device ? offerInstance(*device) : nullptr;
    const HANDLE handle =
        CreateFileA(path, access, share, attributes, disposition, flags, templateFile);
    if (server != nullptr) {
        if (handle != INVALID_HANDLE_VALUE) {
            const std::lock_guard<std::mutex> lock(counts().mutex);
            counts().servers[handle] = server;
        } else {
            // Nobody will connect: let the instance's thread end now.
            const HANDLE release = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                               OPEN_EXISTING, 0, nullptr);
            if (release != INVALID_HANDLE_VALUE) {
                CloseHandle(release);
                WaitForSingleObject(server, INFINITE);
            }
            CloseHandle(server);
        }
    }
    return handle;
}

// Once the caller closed a device, its serving thread has finished with it
// before the caller goes on: no thread is ever cut off at process exit in
// the middle of a write to the scenario file or holding a lock.
BOOL WINAPI countedCloseHandle(HANDLE handle) {
    HANDLE server = nullptr;
    {
        const std::lock_guard<std::mutex> lock(counts().mutex);
        counts().events.erase(handle);
        const auto serving = counts().servers.find(handle);
        if (serving != counts().servers.end()) {
            server = serving->second;
            counts().servers.erase(serving);
        }
    }
    const BOOL closed = CloseHandle(handle);
    if (server != nullptr) {
        WaitForSingleObject(server, INFINITE);
        CloseHandle(server);
    }
    return closed;
}

// Points `module`'s import of kernel32's `name` at `replacement`.
void redirectImport(HMODULE module, const char* name, void* replacement) {
    auto* base = reinterpret_cast<unsigned char*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& directory =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (directory.VirtualAddress == 0) {
        return;
    }
    for (auto* descriptor =
             reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + directory.VirtualAddress);
         descriptor->Name != 0; ++descriptor) {
        if (_stricmp(reinterpret_cast<const char*>(base + descriptor->Name), "kernel32.dll") != 0 ||
            descriptor->OriginalFirstThunk == 0) {
            continue;
        }
        auto* names =
            reinterpret_cast<const IMAGE_THUNK_DATA*>(base + descriptor->OriginalFirstThunk);
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + descriptor->FirstThunk);
        for (; names->u1.AddressOfData != 0; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) {
                continue;
            }
            const auto* import =
                reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (std::strcmp(reinterpret_cast<const char*>(import->Name), name) != 0) {
                continue;
            }
            DWORD protection = 0;
            VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, PAGE_READWRITE,
                           &protection);
            slots->u1.Function = reinterpret_cast<ULONG_PTR>(replacement);
            VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, protection, &protection);
        }
    }
}

}  // namespace

void watchImportsOf(HMODULE module) {
    {
        const std::lock_guard<std::mutex> lock(counts().mutex);
        auto& modules = counts().modules;
        if (module == nullptr ||
            std::find(modules.begin(), modules.end(), module) != modules.end()) {
            return;
        }
        modules.push_back(module);
    }
    redirectImport(module, "CreateFileA", reinterpret_cast<void*>(&preparedCreateFileA));
    redirectImport(module, "CreateEventW", reinterpret_cast<void*>(&countedCreateEventW));
    redirectImport(module, "CloseHandle", reinterpret_cast<void*>(&countedCloseHandle));
}

std::size_t eventsLeftOpen() {
    return counts().events.size();
}

}  // namespace zorvex::winefake
