// The emulated chips behind the HID minidriver: a DLL beside the driver in
// system32\drivers, which holds the project's emulator and scenario code so
// that the driver itself imports only ntoskrnl.exe and hidclass.sys. Each
// device is one entry of the scenario file that its Device Parameters key
// names; every call reads that key and the file as they are now.
#ifndef ZORVEX_WINEHID_CHIP_MODEL_H
#define ZORVEX_WINEHID_CHIP_MODEL_H

#if defined(ZORVEX_CHIP_MODEL_BUILD)
#define ZORVEX_CHIP_MODEL_API __declspec(dllexport)
#else
#define ZORVEX_CHIP_MODEL_API __declspec(dllimport)
#endif

extern "C" {

enum ZorvexChipString { zorvexManufacturer = 0, zorvexProduct = 1 };

// The device's vendor and product IDs; 0 when the scenario has no such entry.
ZORVEX_CHIP_MODEL_API int zorvexChipIds(unsigned long entry, unsigned short* vendorId,
                                        unsigned short* productId);

// Copies the string into `buffer` (`bytes` long): what fits, zero-terminated
// when there is room. 0 when the chip cannot give it.
ZORVEX_CHIP_MODEL_API int zorvexChipString(unsigned long entry, int which, void* buffer,
                                           unsigned long bytes, unsigned long* written);

// The chip takes `report` (65 bytes, report ID first). 1 when it answers,
// with its 64-byte reply in `reply`; 0 when it stays silent.
ZORVEX_CHIP_MODEL_API int zorvexChipReport(unsigned long entry, const unsigned char* report,
                                           unsigned char* reply);
}

#endif
