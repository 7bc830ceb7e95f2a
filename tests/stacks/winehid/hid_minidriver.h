// What a HID minidriver and hidclass.sys share, as the Windows Driver Kit
// documents it (hidport.h). MinGW-w64 ships no hidport.h, and its
// ddk/hidclass.h gives the internal IOCTLs other values, so they are
// declared here.
#ifndef ZORVEX_WINEHID_HID_MINIDRIVER_H
#define ZORVEX_WINEHID_HID_MINIDRIVER_H

// wdm.h defines two interlocked helpers that intrin.h has declared already,
// which C++ refuses: its own copies go under other names.
#include <intrin.h>
#define InterlockedBitTestAndSet wdmInterlockedBitTestAndSet
#define InterlockedBitTestAndReset wdmInterlockedBitTestAndReset
#include <ddk/wdm.h>
#undef InterlockedBitTestAndSet
#undef InterlockedBitTestAndReset

extern "C" {

struct HID_MINIDRIVER_REGISTRATION {
    ULONG Revision;
    PDRIVER_OBJECT DriverObject;
    PUNICODE_STRING RegistryPath;
    ULONG DeviceExtensionSize;
    BOOLEAN DevicesArePolled;
    UCHAR Reserved[3];
};

// What hidclass puts first in the device extension of each device it
// creates for the minidriver.
struct HID_DEVICE_EXTENSION {
    PDEVICE_OBJECT PhysicalDeviceObject;
    PDEVICE_OBJECT NextDeviceObject;
    PVOID MiniDeviceExtension;
};

struct HID_DEVICE_ATTRIBUTES {
    ULONG Size;
    USHORT VendorID;
    USHORT ProductID;
    USHORT VersionNumber;
    USHORT Reserved[11];
};

#pragma pack(push, 1)
struct HID_DESCRIPTOR_ENTRY {
    UCHAR bReportType;
    USHORT wReportLength;
};
struct HID_DESCRIPTOR {
    UCHAR bLength;
    UCHAR bDescriptorType;
    USHORT bcdHID;
    UCHAR bCountry;
    UCHAR bNumDescriptors;
    HID_DESCRIPTOR_ENTRY DescriptorList[1];
};
#pragma pack(pop)

struct HID_XFER_PACKET {
    PUCHAR reportBuffer;
    ULONG reportBufferLen;
    UCHAR reportId;
};

NTSTATUS NTAPI HidRegisterMinidriver(HID_MINIDRIVER_REGISTRATION* registration);

}  // extern "C"

constexpr ULONG kHidRevision = 1;
constexpr UCHAR kHidDescriptorType = 0x21;
constexpr UCHAR kHidReportDescriptorType = 0x22;

// IRP_MJ_INTERNAL_DEVICE_CONTROL codes hidclass sends its minidriver.
constexpr ULONG hidControlCode(ULONG function) {
    return CTL_CODE(FILE_DEVICE_KEYBOARD, function, METHOD_NEITHER, FILE_ANY_ACCESS);
}
constexpr ULONG kIoctlGetDeviceDescriptor = hidControlCode(0);
constexpr ULONG kIoctlGetReportDescriptor = hidControlCode(1);
constexpr ULONG kIoctlReadReport = hidControlCode(2);
constexpr ULONG kIoctlWriteReport = hidControlCode(3);
constexpr ULONG kIoctlGetString = hidControlCode(4);
constexpr ULONG kIoctlActivateDevice = hidControlCode(7);
constexpr ULONG kIoctlDeactivateDevice = hidControlCode(8);
constexpr ULONG kIoctlGetDeviceAttributes = hidControlCode(9);

// The string an IOCTL_HID_GET_STRING asks for, in the low word of its
// input: Windows sends these; Wine's hidclass sends 1, 2 and 3 instead.
constexpr ULONG kStringIdManufacturer = 14;
constexpr ULONG kStringIdProduct = 15;
constexpr ULONG kStringIdSerialNumber = 16;

#endif
