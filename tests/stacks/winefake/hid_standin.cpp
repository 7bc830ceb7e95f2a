// hid.dll for tests under Wine: the four HID class calls the library makes,
// answered for the scenario file's devices by the setupapi stand-in.
#include <windows.h>

#include "hid_guid.h"
#include "hid_queries.h"

extern "C" {

// The attributes record as hidsdi.h has it; that header is left out so that
// these definitions need not match its prototypes to the letter.
struct HiddAttributes {
    ULONG Size;
    USHORT VendorID;
    USHORT ProductID;
    USHORT VersionNumber;
};

__declspec(dllexport) void WINAPI HidD_GetHidGuid(GUID* hidGuid) {
    *hidGuid = kHidClassGuid;
}

__declspec(dllexport) BOOLEAN WINAPI HidD_GetAttributes(HANDLE device, HiddAttributes* attributes) {
    if (attributes == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    attributes->Size = sizeof(HiddAttributes);
    return zorvexFakeAttributes(device, &attributes->VendorID, &attributes->ProductID,
                                &attributes->VersionNumber);
}

__declspec(dllexport) BOOLEAN WINAPI
    HidD_GetManufacturerString(HANDLE device, PVOID buffer, ULONG bufferLength) {
    return zorvexFakeString(device, FALSE, buffer, bufferLength);
}

__declspec(dllexport) BOOLEAN WINAPI
    HidD_GetProductString(HANDLE device, PVOID buffer, ULONG bufferLength) {
    return zorvexFakeString(device, TRUE, buffer, bufferLength);
}

}  // extern "C"
