// What the hid.dll stand-in asks of the setupapi stand-in, which holds the
// state: the attributes and strings of the device behind an open handle.
#ifndef ZORVEX_WINEFAKE_HID_QUERIES_H
#define ZORVEX_WINEFAKE_HID_QUERIES_H

#include <windows.h>

#if defined(ZORVEX_WINEFAKE_SETUPAPI)
#define ZORVEX_WINEFAKE_API __declspec(dllexport)
#else
#define ZORVEX_WINEFAKE_API __declspec(dllimport)
#endif

extern "C" {

// As HidD_GetAttributes, into the three fields of HIDD_ATTRIBUTES after Size.
ZORVEX_WINEFAKE_API BOOLEAN zorvexFakeAttributes(HANDLE device, USHORT* vendorId, USHORT* productId,
                                                 USHORT* version);

// As HidD_GetManufacturerString (product false) or HidD_GetProductString.
ZORVEX_WINEFAKE_API BOOLEAN zorvexFakeString(HANDLE device, BOOLEAN product, PVOID buffer,
                                             ULONG bufferLength);
}

#endif
