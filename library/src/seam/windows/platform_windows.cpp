// The device seam on Windows: SetupAPI lists the HID interfaces, the HID
// class library reads IDs and strings, and reports travel through file I/O
// on the device path. Reads and writes are overlapped so that a chip that
// stops answering, or is pulled out mid-write, costs at most the timeout.
#include <windows.h>
// clang-format off
#include <setupapi.h>
// MinGW's HID header declares C functions without saying so.
extern "C" {
#include <hidsdi.h>
}
// clang-format on

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <new>
#include <vector>

#include "seam/platform.h"
#include "unit_id.h"

namespace zorvex::platform {

namespace {

static_assert(sizeof(WCHAR) == sizeof(char16_t), "USB strings are read as UTF-16 units");
static_assert(sizeof(void*) != 4 || sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A) == 5,
              "the detail record's size field must be 5 in a 32-bit process");

constexpr DWORD kWriteTimeoutMs = 1000;
constexpr ULONG kStringBytes = kStringUnits * sizeof(char16_t);

// The device information set of one enumeration.
class InterfaceSet {
  public:
    explicit InterfaceSet(const GUID& hidClass)
        : set_(SetupDiGetClassDevsA(&hidClass, nullptr, nullptr,
                                    DIGCF_PRESENT | DIGCF_DEVICEINTERFACE)) {}
    ~InterfaceSet() {
        if (isOpen()) {
            SetupDiDestroyDeviceInfoList(set_);
        }
    }
    InterfaceSet(const InterfaceSet&) = delete;
    InterfaceSet& operator=(const InterfaceSet&) = delete;

    bool isOpen() const { return set_ != INVALID_HANDLE_VALUE; }
    HDEVINFO get() const { return set_; }

  private:
    HDEVINFO set_;
};

// An open device, and the one manual-reset event its overlapped writes and
// reads signal: made at its first write, so an exchange uses one event and
// an open that only reads IDs or strings none; closed with the device.
struct Device {
    HANDLE file = INVALID_HANDLE_VALUE;
    HANDLE event = nullptr;
};

Device* asDevice(DeviceHandle device) {
    return static_cast<Device*>(device);
}

// The device's event, reset for the next operation; nullptr when none can be had.
HANDLE ioEvent(Device& device) {
    if (device.event == nullptr) {
        device.event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    } else {
        ResetEvent(device.event);
    }
    return device.event;
}

// The path of one interface, or an empty string when its detail cannot be read.
DevicePath interfacePath(HDEVINFO set, SP_DEVICE_INTERFACE_DATA& interfaceData) {
    DWORD required = 0;
    SetupDiGetDeviceInterfaceDetailA(set, &interfaceData, nullptr, 0, &required, nullptr);
    if (required <= offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath)) {
        return {};
    }
    std::vector<unsigned char> buffer(required);
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(buffer.data());
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
    if (!SetupDiGetDeviceInterfaceDetailA(set, &interfaceData, detail, required, nullptr,
                                          nullptr)) {
        return {};
    }
    const char* path = detail->DevicePath;
    const std::size_t room = required - offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath);
    const void* end = std::memchr(path, '\0', room);
    return DevicePath(path, end != nullptr ? static_cast<const char*>(end) - path : room);
}

// Waits for an overlapped operation that `started` began, at most
// `timeoutMs`. On timeout the operation is cancelled, and its end awaited, so
// the buffer and the OVERLAPPED it uses are no longer touched once this returns.
bool finishIo(HANDLE device, OVERLAPPED& overlapped, BOOL started, DWORD timeoutMs,
              DWORD& transferred) {
    transferred = 0;
    if (!started && GetLastError() != ERROR_IO_PENDING) {
        return false;
    }
    if (WaitForSingleObject(overlapped.hEvent, timeoutMs) != WAIT_OBJECT_0) {
        CancelIoEx(device, &overlapped);
        GetOverlappedResult(device, &overlapped, &transferred, TRUE);
        transferred = 0;
        return false;
    }
    return GetOverlappedResult(device, &overlapped, &transferred, FALSE) != FALSE;
}

}  // namespace

void listHidInterfaces(DeviceList& list) {
    GUID hidClass;
    HidD_GetHidGuid(&hidClass);
    const InterfaceSet set(hidClass);
    if (!set.isOpen()) {
        return;
    }
    SP_DEVICE_INTERFACE_DATA interfaceData;
    interfaceData.cbSize = sizeof(SP_DEVICE_INTERFACE_DATA);
    for (DWORD index = 0;
         SetupDiEnumDeviceInterfaces(set.get(), nullptr, &hidClass, index, &interfaceData);
         ++index) {
        DevicePath path = interfacePath(set.get(), interfaceData);
        if (!path.empty()) {
            list.push_back(std::move(path));
        }
    }
}

// A HID interface path reads \\?\hid#<hardware id>#<instance>#{class}; the
// instance part comes from where the device is plugged in. Its "&"s become
// "-", so that it may name a unit.
bool readDevicePort(const DevicePath& path, std::string& port) {
    const std::size_t first = path.find('#');
    const std::size_t second = first == DevicePath::npos ? first : path.find('#', first + 1);
    const std::size_t third = second == DevicePath::npos ? second : path.find('#', second + 1);
    if (third == DevicePath::npos || third == second + 1) {
        return false;
    }
    std::string text = path.substr(second + 1, third - second - 1);
    std::replace(text.begin(), text.end(), '&', '-');
    if (!isUnitId(text)) {
        return false;
    }
    port = text;
    return true;
}

DeviceHandle openDevice(const DevicePath& path) {
    auto* device = new (std::nothrow) Device;
    if (device == nullptr) {
        return nullptr;
    }
    device->file =
        CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr);
    if (device->file == INVALID_HANDLE_VALUE) {
        delete device;
        return nullptr;
    }
    return device;
}

void closeDevice(DeviceHandle handle) {
    Device* device = asDevice(handle);
    if (device->event != nullptr) {
        CloseHandle(device->event);
    }
    CloseHandle(device->file);
    delete device;
}

bool readDeviceIds(DeviceHandle device, std::uint16_t& vendorId, std::uint16_t& productId) {
    HIDD_ATTRIBUTES attributes;
    attributes.Size = sizeof(HIDD_ATTRIBUTES);
    if (!HidD_GetAttributes(asDevice(device)->file, &attributes)) {
        return false;
    }
    vendorId = attributes.VendorID;
    productId = attributes.ProductID;
    return true;
}

bool readDeviceString(DeviceHandle device, DeviceString which, StringBuffer& buffer) {
    const HANDLE file = asDevice(device)->file;
    return (which == DeviceString::manufacturer
                ? HidD_GetManufacturerString(file, buffer.data(), kStringBytes)
                : HidD_GetProductString(file, buffer.data(), kStringBytes)) != FALSE;
}

bool writeReport(DeviceHandle handle, const HidReport& report) {
    Device& device = *asDevice(handle);
    OVERLAPPED overlapped{};
    overlapped.hEvent = ioEvent(device);
    if (overlapped.hEvent == nullptr) {
        return false;
    }
    const BOOL started = WriteFile(device.file, report.data(), static_cast<DWORD>(report.size()),
                                   nullptr, &overlapped);
    DWORD written = 0;
    return finishIo(device.file, overlapped, started, kWriteTimeoutMs, written) &&
           written == report.size();
}

bool readReport(DeviceHandle handle, HidReport& reply, std::uint32_t capacity,
                std::uint32_t& bytesRead, std::uint32_t timeoutMs) {
    bytesRead = 0;
    Device& device = *asDevice(handle);
    OVERLAPPED overlapped{};
    overlapped.hEvent = ioEvent(device);
    if (overlapped.hEvent == nullptr) {
        return false;
    }
    const DWORD wanted = capacity < reply.size() ? capacity : static_cast<DWORD>(reply.size());
    const BOOL started = ReadFile(device.file, reply.data(), wanted, nullptr, &overlapped);
    DWORD read = 0;
    if (!finishIo(device.file, overlapped, started, timeoutMs, read) || read == 0) {
        return false;
    }
    bytesRead = read;
    return true;
}

}  // namespace zorvex::platform
