// setupapi.dll for tests under Wine: lists the scenario file's devices as HID
// interfaces whose paths are named pipes, checking the records as Windows does.
#define _SETUPAPI_
#include <windows.h>
// clang-format off
#include <setupapi.h>
// clang-format on

#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include "hid_guid.h"
#include "import_hooks.h"
#include "standin_state.h"

using namespace zorvex::winefake;

namespace {

// One enumeration's snapshot of the device paths.
struct InterfaceSet {
    std::vector<std::string> paths;
};

constexpr DWORD kExpectedFlags = DIGCF_PRESENT | DIGCF_DEVICEINTERFACE;

// The record sizes Windows checks cbSize against, as its documentation gives
// them rather than as this build's headers do: a caller must not pass the
// 64-bit ones from a 32-bit process, nor the other way round.
constexpr bool k32Bit = sizeof(void*) == 4;
constexpr DWORD kInterfaceRecordSize = k32Bit ? 28 : 32;
constexpr DWORD kDetailRecordSize = k32Bit ? 5 : 8;

std::vector<InterfaceSet*>& openSets() {
    static auto* const sets = new std::vector<InterfaceSet*>;
    return *sets;
}

InterfaceSet* findSet(HDEVINFO handle) {
    const std::lock_guard<std::mutex> lock(state().mutex);
    for (InterfaceSet* set : openSets()) {
        if (set == handle) {
            return set;
        }
    }
    return nullptr;
}

}  // namespace

extern "C" {

__declspec(dllexport) HDEVINFO WINAPI
    SetupDiGetClassDevsA(const GUID* classGuid, PCSTR enumerator, HWND parent, DWORD flags) {
    if (classGuid == nullptr || !IsEqualGUID(*classGuid, kHidClassGuid) || enumerator != nullptr ||
        parent != nullptr || flags != kExpectedFlags) {
        violation("SetupDiGetClassDevsA: not the present HID interfaces", ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    pinInProcess();
    // The module that enumerates is the library under test.
    HMODULE caller = nullptr;
    GetModuleHandleExW(
        GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
        static_cast<LPCWSTR>(__builtin_return_address(0)), &caller);
    watchImportsOf(caller);
    auto* set = new InterfaceSet;
    const std::lock_guard<std::mutex> lock(state().mutex);
    refreshScenario();
    if (const zorvex::sim::Scenario* scenario = currentScenario()) {
        for (std::size_t i = 0; i < scenario->devices.chips.size(); ++i) {
            if (scenario->devices.chips[i].present) {
                set->paths.push_back(deviceInterfacePath(i));
            }
        }
    }
    ++state().enumerations;
    openSets().push_back(set);
    return set;
}

__declspec(dllexport) WINBOOL WINAPI
    SetupDiEnumDeviceInterfaces(HDEVINFO handle, PSP_DEVINFO_DATA deviceInfo, const GUID* classGuid,
                                DWORD index, PSP_DEVICE_INTERFACE_DATA interfaceData) {
    const InterfaceSet* set = findSet(handle);
    if (set == nullptr) {
        violation("SetupDiEnumDeviceInterfaces: not an open set", ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (interfaceData == nullptr || interfaceData->cbSize != kInterfaceRecordSize) {
        violation(k32Bit ? "SetupDiEnumDeviceInterfaces: interface record size is not 28"
                         : "SetupDiEnumDeviceInterfaces: interface record size is not 32",
                  ERROR_INVALID_USER_BUFFER);
        return FALSE;
    }
    if (deviceInfo != nullptr || classGuid == nullptr || !IsEqualGUID(*classGuid, kHidClassGuid)) {
        violation("SetupDiEnumDeviceInterfaces: not the HID class", ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (index >= set->paths.size()) {
        SetLastError(ERROR_NO_MORE_ITEMS);
        return FALSE;
    }
    interfaceData->InterfaceClassGuid = kHidClassGuid;
    interfaceData->Flags = SPINT_ACTIVE;
    interfaceData->Reserved = index + 1;
    return TRUE;
}

__declspec(dllexport) WINBOOL WINAPI
    SetupDiGetDeviceInterfaceDetailA(HDEVINFO handle, PSP_DEVICE_INTERFACE_DATA interfaceData,
                                     PSP_DEVICE_INTERFACE_DETAIL_DATA_A detail, DWORD detailSize,
                                     PDWORD requiredSize, PSP_DEVINFO_DATA deviceInfo) {
    const InterfaceSet* set = findSet(handle);
    if (set == nullptr || interfaceData == nullptr || interfaceData->Reserved == 0 ||
        interfaceData->Reserved > set->paths.size() || deviceInfo != nullptr) {
        violation("SetupDiGetDeviceInterfaceDetailA: not an interface of an open set",
                  ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const std::string& path = set->paths[interfaceData->Reserved - 1];
    const DWORD required = static_cast<DWORD>(
        offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath) + path.size() + 1);
    if (requiredSize != nullptr) {
        *requiredSize = required;
    }
    if (detail == nullptr) {
        if (detailSize != 0) {
            violation("SetupDiGetDeviceInterfaceDetailA: a size without a buffer",
                      ERROR_INVALID_USER_BUFFER);
            return FALSE;
        }
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    if (detail->cbSize != kDetailRecordSize) {
        violation(k32Bit ? "SetupDiGetDeviceInterfaceDetailA: detail record size is not 5"
                         : "SetupDiGetDeviceInterfaceDetailA: detail record size is not 8",
                  ERROR_INVALID_USER_BUFFER);
        return FALSE;
    }
    if (detailSize < required) {
        violation("SetupDiGetDeviceInterfaceDetailA: buffer smaller than asked for",
                  ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    std::memcpy(detail->DevicePath, path.c_str(), path.size() + 1);
    return TRUE;
}

__declspec(dllexport) WINBOOL WINAPI SetupDiDestroyDeviceInfoList(HDEVINFO handle) {
    InterfaceSet* set = nullptr;
    {
        const std::lock_guard<std::mutex> lock(state().mutex);
        auto& sets = openSets();
        for (auto it = sets.begin(); it != sets.end(); ++it) {
            if (*it == handle) {
                set = *it;
                sets.erase(it);
                ++state().setsDestroyed;
                break;
            }
        }
    }
    if (set == nullptr) {
        violation("SetupDiDestroyDeviceInfoList: not an open set", ERROR_INVALID_HANDLE);
        return FALSE;
    }
    delete set;
    return TRUE;
}

}  // extern "C"
