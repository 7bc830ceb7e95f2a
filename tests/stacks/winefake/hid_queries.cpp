#include "hid_queries.h"

#include <algorithm>
#include <cstring>

#include "mcp2221a/protocol.h"
#include "standin_state.h"

using namespace zorvex::winefake;

namespace {

// Windows refuses string buffers larger than this.
constexpr ULONG kLargestStringBuffer = 4093;

const zorvex::sim::SimChip* chipBehind(HANDLE device, const char* call) {
    const auto index = deviceOfHandle(device);
    if (!index) {
        violation(std::string(call) + ": not a device handle", ERROR_INVALID_HANDLE);
        return nullptr;
    }
    const zorvex::sim::Scenario* scenario = currentScenario();
    if (scenario == nullptr || *index >= scenario->devices.chips.size()) {
        SetLastError(ERROR_DEVICE_NOT_CONNECTED);
        return nullptr;
    }
    return &scenario->devices.chips[*index];
}

}  // namespace

extern "C" {

BOOLEAN zorvexFakeAttributes(HANDLE device, USHORT* vendorId, USHORT* productId, USHORT* version) {
    const std::lock_guard<std::mutex> lock(state().mutex);
    const zorvex::sim::SimChip* chip = chipBehind(device, "HidD_GetAttributes");
    if (chip == nullptr) {
        return FALSE;
    }
    if (!chip->attributesReadable) {
        SetLastError(ERROR_GEN_FAILURE);
        return FALSE;
    }
    *vendorId = chip->vendorId;
    *productId = chip->productId;
    *version = zorvex::mcp2221a::kDeviceRelease;
    return TRUE;
}

BOOLEAN zorvexFakeString(HANDLE device, BOOLEAN product, PVOID buffer, ULONG bufferLength) {
    const char* call = product ? "HidD_GetProductString" : "HidD_GetManufacturerString";
    if (buffer == nullptr || bufferLength == 0 || bufferLength > kLargestStringBuffer) {
        violation(std::string(call) + ": a buffer of " + std::to_string(bufferLength) + " bytes",
                  ERROR_INVALID_USER_BUFFER);
        return FALSE;
    }
    const std::lock_guard<std::mutex> lock(state().mutex);
    const zorvex::sim::SimChip* chip = chipBehind(device, call);
    if (chip == nullptr) {
        return FALSE;
    }
    if (!(product ? chip->productReadable : chip->manufacturerReadable)) {
        SetLastError(ERROR_GEN_FAILURE);
        return FALSE;
    }
    // What fits is copied; a string that fills the buffer has no terminator.
    const std::u16string& text = product ? chip->product : chip->manufacturer;
    const std::size_t room = bufferLength / sizeof(WCHAR);
    const std::size_t units = std::min(text.size(), room);
    std::memcpy(buffer, text.data(), units * sizeof(WCHAR));
    if (units < room) {
        static_cast<WCHAR*>(buffer)[units] = L'\0';
    }
    return TRUE;
}

}  // extern "C"
