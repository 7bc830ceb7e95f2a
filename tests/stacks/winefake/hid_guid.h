// The HID device-interface class, as Windows' HidD_GetHidGuid gives it.
#ifndef ZORVEX_WINEFAKE_HID_GUID_H
#define ZORVEX_WINEFAKE_HID_GUID_H

#include <windows.h>

constexpr GUID kHidClassGuid = {
    0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};

#endif
