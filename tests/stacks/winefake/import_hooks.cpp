#include "import_hooks.h"

#include "pipe_server.h"
#include "standin_state.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace zorvex::winefake {

namespace {

struct Device {
    HANDLE server;
    std::size_t index;
};

struct Counts {
    std::mutex mutex;
    std::vector<HMODULE> modules;
    std::set<HANDLE> events;
    // The pipe instance behind each device handle the caller holds.
    std::map<HANDLE, Device> devices;
};

Counts& counts() {
    static auto* const instance = new Counts;
    return *instance;
}

std::optional<Device> deviceOf(HANDLE handle) {
    const std::lock_guard<std::mutex> lock(counts().mutex);
    const auto found = counts().devices.find(handle);
    return found != counts().devices.end() ? std::optional<Device>(found->second) : std::nullopt;
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

HANDLE WINAPI servedCreateFileA(LPCSTR path, DWORD access, DWORD share,
                                LPSECURITY_ATTRIBUTES attributes, DWORD disposition, DWORD flags,
                                HANDLE templateFile) {
    const auto index = path != nullptr ? deviceOfInterfacePath(path) : std::nullopt;
    if (!index) {
        return CreateFileA(path, access, share, attributes, disposition, flags, templateFile);
    }
    const std::size_t device = *index;
    const HANDLE server = offerInstance(device);
    const HANDLE handle = CreateFileA(devicePipeName(device).c_str(), access, share, attributes,
                                      disposition, flags, templateFile);
    if (server != INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (handle != INVALID_HANDLE_VALUE) {
            acceptConnection(server);
            const std::lock_guard<std::mutex> lock(counts().mutex);
            counts().devices[handle] = Device{server, device};
        } else {
            closeInstance(server);
        }
        SetLastError(error);
    }
    return handle;
}

// The chip answers before the write returns, as a fast chip would: its reply
// is there for the caller's next read.
BOOL WINAPI servedWriteFile(HANDLE handle, LPCVOID data, DWORD length, LPDWORD written,
                            LPOVERLAPPED overlapped) {
    const BOOL result = WriteFile(handle, data, length, written, overlapped);
    if (const auto device = deviceOf(handle)) {
        const DWORD error = GetLastError();
        answerReport(device->server, device->index);
        SetLastError(error);
    }
    return result;
}

BOOL WINAPI countedCloseHandle(HANDLE handle) {
    std::optional<Device> device;
    {
        const std::lock_guard<std::mutex> lock(counts().mutex);
        counts().events.erase(handle);
        const auto found = counts().devices.find(handle);
        if (found != counts().devices.end()) {
            device = found->second;
            counts().devices.erase(found);
        }
    }
    const BOOL closed = CloseHandle(handle);
    if (device) {
        const DWORD error = GetLastError();
        closeInstance(device->server);
        SetLastError(error);
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
    redirectImport(module, "CreateFileA", reinterpret_cast<void*>(&servedCreateFileA));
    redirectImport(module, "WriteFile", reinterpret_cast<void*>(&servedWriteFile));
    redirectImport(module, "CreateEventW", reinterpret_cast<void*>(&countedCreateEventW));
    redirectImport(module, "CloseHandle", reinterpret_cast<void*>(&countedCloseHandle));
}

std::size_t eventsLeftOpen() {
    return counts().events.size();
}

}  // namespace zorvex::winefake
