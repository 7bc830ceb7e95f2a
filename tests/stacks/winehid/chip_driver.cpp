// zorvexchip.sys: an MCP2221A as a HID minidriver under hidclass.sys, one
// root-enumerated device per scenario entry. hidclass does what Windows'
// HID class does (the device interface, opens, attributes, a copy of every
// input report for every open handle); this driver is only the chip's USB
// side: its descriptors, its strings, and a reply on the interrupt-in pipe
// to each report it takes. It imports only ntoskrnl.exe, hidclass.sys and
// the chip model beside it, so Wine loads it as a driver.
#include "chip_model.h"
#include "hid_minidriver.h"
#include "mcp2221a/protocol.h"
#include "mcp2221a/report_descriptor.h"

namespace {

constexpr ULONG kCommandBytes = zorvex::mcp2221a::kReportBytes;  // a report without its ID byte
constexpr ULONG kReportBytes = zorvex::mcp2221a::kHidReportSize;
constexpr ULONG kQueuedReplies = 16;  // the chip's own input buffer is far smaller
constexpr USHORT kDeviceRelease = zorvex::mcp2221a::kDeviceRelease;

using zorvex::mcp2221a::kReportDescriptor;

// What the driver keeps for one device, in hidclass's device extension.
struct Chip {
    ULONG entry;
    KSPIN_LOCK lock;
    bool removed;
    // hidclass keeps one read pending, to be completed with the next reply.
    PIRP pendingRead;
    UCHAR replies[kQueuedReplies][kCommandBytes];
    ULONG firstReply;
    ULONG replyCount;
};

Chip* chipOf(PDEVICE_OBJECT device) {
    auto* hid = static_cast<HID_DEVICE_EXTENSION*>(device->DeviceExtension);
    return static_cast<Chip*>(hid->MiniDeviceExtension);
}

PDEVICE_OBJECT lowerOf(PDEVICE_OBJECT device) {
    return static_cast<HID_DEVICE_EXTENSION*>(device->DeviceExtension)->NextDeviceObject;
}

NTSTATUS complete(PIRP irp, NTSTATUS status, ULONG_PTR information = 0) {
    irp->IoStatus.Status = status;
    irp->IoStatus.Information = information;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}

void copyBytes(void* to, const void* from, ULONG count) {
    auto* out = static_cast<UCHAR*>(to);
    const auto* in = static_cast<const UCHAR*>(from);
    for (ULONG i = 0; i < count; ++i) {
        out[i] = in[i];
    }
}

// The device's scenario entry, which the installing tool wrote beside its
// other parameters; ~0 when there is none.
ULONG readEntry(PDEVICE_OBJECT physicalDevice) {
    HANDLE key = nullptr;
    if (!NT_SUCCESS(
            IoOpenDeviceRegistryKey(physicalDevice, PLUGPLAY_REGKEY_DEVICE, KEY_READ, &key))) {
        return ~0UL;
    }
    UNICODE_STRING name;
    RtlInitUnicodeString(&name, L"Entry");
    union {
        KEY_VALUE_PARTIAL_INFORMATION info;
        UCHAR room[sizeof(KEY_VALUE_PARTIAL_INFORMATION) + sizeof(ULONG)];
    } value{};
    ULONG length = 0;
    const NTSTATUS status =
        ZwQueryValueKey(key, &name, KeyValuePartialInformation, &value, sizeof value, &length);
    ZwClose(key);
    if (!NT_SUCCESS(status) || value.info.Type != REG_DWORD || value.info.DataLength != 4) {
        return ~0UL;
    }
    ULONG entry = 0;
    copyBytes(&entry, value.info.Data, sizeof entry);
    return entry;
}

// Hands a reply to the pending read, or keeps it for the next one.
void offerReply(Chip& chip, const UCHAR* reply) {
    KIRQL irql;
    KeAcquireSpinLock(&chip.lock, &irql);
    PIRP read = chip.removed ? nullptr : chip.pendingRead;
    chip.pendingRead = nullptr;
    if (read == nullptr && !chip.removed && chip.replyCount < kQueuedReplies) {
        copyBytes(chip.replies[(chip.firstReply + chip.replyCount) % kQueuedReplies], reply,
                  kCommandBytes);
        ++chip.replyCount;
    }
    KeReleaseSpinLock(&chip.lock, irql);
    if (read != nullptr) {
        copyBytes(read->UserBuffer, reply, kCommandBytes);
        complete(read, STATUS_SUCCESS, kCommandBytes);
    }
}

NTSTATUS readReport(Chip& chip, PIRP irp, ULONG length) {
    if (length < kCommandBytes) {
        return complete(irp, STATUS_BUFFER_TOO_SMALL);
    }
    UCHAR reply[kCommandBytes];
    KIRQL irql;
    KeAcquireSpinLock(&chip.lock, &irql);
    if (chip.removed) {
        KeReleaseSpinLock(&chip.lock, irql);
        return complete(irp, STATUS_DEVICE_NOT_CONNECTED);
    }
    if (chip.replyCount == 0) {
        chip.pendingRead = irp;
        IoMarkIrpPending(irp);
        KeReleaseSpinLock(&chip.lock, irql);
        return STATUS_PENDING;
    }
    copyBytes(reply, chip.replies[chip.firstReply], kCommandBytes);
    chip.firstReply = (chip.firstReply + 1) % kQueuedReplies;
    --chip.replyCount;
    KeReleaseSpinLock(&chip.lock, irql);
    copyBytes(irp->UserBuffer, reply, kCommandBytes);
    return complete(irp, STATUS_SUCCESS, kCommandBytes);
}

NTSTATUS writeReport(Chip& chip, PIRP irp) {
    const auto* packet = static_cast<const HID_XFER_PACKET*>(irp->UserBuffer);
    if (packet == nullptr || packet->reportBuffer == nullptr ||
        packet->reportBufferLen < kCommandBytes) {
        return complete(irp, STATUS_INVALID_PARAMETER);
    }
    KIRQL irql;
    KeAcquireSpinLock(&chip.lock, &irql);
    const bool removed = chip.removed;
    KeReleaseSpinLock(&chip.lock, irql);
    // hidclass passes writes on after a surprise removal; a chip that is
    // gone takes none.
    if (removed) {
        return complete(irp, STATUS_DEVICE_NOT_CONNECTED);
    }
    UCHAR report[kReportBytes];
    report[0] = packet->reportId;
    copyBytes(report + 1, packet->reportBuffer, kCommandBytes);
    UCHAR reply[kCommandBytes];
    const bool answered = zorvexChipReport(chip.entry, report, reply) != 0;
    // The whole report went out, its ID byte counted, as Windows reports
    // a write to an MCP2221A; the reply follows on the input pipe.
    complete(irp, STATUS_SUCCESS, kReportBytes);
    if (answered) {
        offerReply(chip, reply);
    }
    return STATUS_SUCCESS;
}

NTSTATUS readString(Chip& chip, PIRP irp, ULONG length) {
    const auto request = reinterpret_cast<ULONG_PTR>(
        IoGetCurrentIrpStackLocation(irp)->Parameters.DeviceIoControl.Type3InputBuffer);
    const ULONG id = static_cast<ULONG>(request & 0xFFFF);
    int which = -1;
    if (id == kStringIdManufacturer || id == 1) {
        which = zorvexManufacturer;
    } else if (id == kStringIdProduct || id == 2) {
        which = zorvexProduct;
    }
    // The chip enumerates no serial number.
    ULONG written = 0;
    if (which < 0 || irp->UserBuffer == nullptr ||
        !zorvexChipString(chip.entry, which, irp->UserBuffer, length, &written)) {
        return complete(irp, STATUS_INVALID_DEVICE_REQUEST);
    }
    return complete(irp, STATUS_SUCCESS, written);
}

NTSTATUS readAttributes(Chip& chip, PIRP irp, ULONG length) {
    USHORT vendorId = 0;
    USHORT productId = 0;
    if (length < sizeof(HID_DEVICE_ATTRIBUTES) ||
        !zorvexChipIds(chip.entry, &vendorId, &productId)) {
        return complete(irp, STATUS_DEVICE_NOT_CONNECTED);
    }
    HID_DEVICE_ATTRIBUTES attributes{};
    attributes.Size = sizeof attributes;
    attributes.VendorID = vendorId;
    attributes.ProductID = productId;
    attributes.VersionNumber = kDeviceRelease;
    copyBytes(irp->UserBuffer, &attributes, sizeof attributes);
    return complete(irp, STATUS_SUCCESS, sizeof attributes);
}

NTSTATUS readDescriptor(PIRP irp, ULONG length) {
    HID_DESCRIPTOR descriptor{};
    descriptor.bLength = sizeof descriptor;
    descriptor.bDescriptorType = kHidDescriptorType;
    descriptor.bcdHID = 0x0111;
    descriptor.bNumDescriptors = 1;
    descriptor.DescriptorList[0].bReportType = kHidReportDescriptorType;
    descriptor.DescriptorList[0].wReportLength = sizeof kReportDescriptor;
    if (length < sizeof descriptor) {
        return complete(irp, STATUS_BUFFER_TOO_SMALL);
    }
    copyBytes(irp->UserBuffer, &descriptor, sizeof descriptor);
    return complete(irp, STATUS_SUCCESS, sizeof descriptor);
}

NTSTATUS NTAPI dispatchInternalControl(PDEVICE_OBJECT device, PIRP irp) {
    Chip& chip = *chipOf(device);
    const IO_STACK_LOCATION* stack = IoGetCurrentIrpStackLocation(irp);
    const ULONG length = stack->Parameters.DeviceIoControl.OutputBufferLength;
    switch (stack->Parameters.DeviceIoControl.IoControlCode) {
        case kIoctlGetDeviceDescriptor:
            return readDescriptor(irp, length);
        case kIoctlGetReportDescriptor:
            if (length < sizeof kReportDescriptor) {
                return complete(irp, STATUS_BUFFER_TOO_SMALL);
            }
            copyBytes(irp->UserBuffer, kReportDescriptor, sizeof kReportDescriptor);
            return complete(irp, STATUS_SUCCESS, sizeof kReportDescriptor);
        case kIoctlGetDeviceAttributes:
            return readAttributes(chip, irp, length);
        case kIoctlGetString:
            return readString(chip, irp, length);
        case kIoctlReadReport:
            return readReport(chip, irp, length);
        case kIoctlWriteReport:
            return writeReport(chip, irp);
        case kIoctlActivateDevice:
        case kIoctlDeactivateDevice:
            return complete(irp, STATUS_SUCCESS);
        default:
            return complete(irp, STATUS_NOT_SUPPORTED);
    }
}

// A chip pulled out answers nothing more: the read hidclass keeps pending
// fails now, so that its reading thread can end.
void unplug(Chip& chip) {
    KIRQL irql;
    KeAcquireSpinLock(&chip.lock, &irql);
    chip.removed = true;
    PIRP read = chip.pendingRead;
    chip.pendingRead = nullptr;
    chip.replyCount = 0;
    KeReleaseSpinLock(&chip.lock, irql);
    if (read != nullptr) {
        complete(read, STATUS_DEVICE_NOT_CONNECTED);
    }
}

NTSTATUS NTAPI dispatchPnp(PDEVICE_OBJECT device, PIRP irp) {
    const UCHAR minor = IoGetCurrentIrpStackLocation(irp)->MinorFunction;
    if (minor == IRP_MN_SURPRISE_REMOVAL || minor == IRP_MN_REMOVE_DEVICE) {
        unplug(*chipOf(device));
    }
    if (minor == IRP_MN_START_DEVICE || minor == IRP_MN_SURPRISE_REMOVAL ||
        minor == IRP_MN_REMOVE_DEVICE) {
        irp->IoStatus.Status = STATUS_SUCCESS;
    }
    IoSkipCurrentIrpStackLocation(irp);
    return IoCallDriver(lowerOf(device), irp);
}

NTSTATUS NTAPI addDevice(PDRIVER_OBJECT, PDEVICE_OBJECT device) {
    Chip& chip = *chipOf(device);
    chip = Chip{};
    KeInitializeSpinLock(&chip.lock);
    chip.entry = readEntry(
        static_cast<HID_DEVICE_EXTENSION*>(device->DeviceExtension)->PhysicalDeviceObject);
    if (chip.entry == ~0UL) {
        return STATUS_DEVICE_CONFIGURATION_ERROR;
    }
    device->Flags &= ~DO_DEVICE_INITIALIZING;
    return STATUS_SUCCESS;
}

void NTAPI unload(PDRIVER_OBJECT) {}

}  // namespace

extern "C" NTSTATUS NTAPI DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registryPath) {
    driver->MajorFunction[IRP_MJ_INTERNAL_DEVICE_CONTROL] = dispatchInternalControl;
    driver->MajorFunction[IRP_MJ_PNP] = dispatchPnp;
    driver->DriverExtension->AddDevice = addDevice;
    driver->DriverUnload = unload;

    HID_MINIDRIVER_REGISTRATION registration{};
    registration.Revision = kHidRevision;
    registration.DriverObject = driver;
    registration.RegistryPath = registryPath;
    registration.DeviceExtensionSize = sizeof(Chip);
    registration.DevicesArePolled = FALSE;
    return HidRegisterMinidriver(&registration);
}
