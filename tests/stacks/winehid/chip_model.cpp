// The chips behind zorvexchip.sys: the project's emulator on the scenario
// file, exactly as the simulated library and the stand-ins use it. Called
// from the driver on hidclass's threads, one device's reading thread and
// the callers' writes at once, so every call holds one lock.
#include "chip_model.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <optional>

#include "chip_registry.h"
#include "scenario/scenario_delivery.h"
#include "scenario/scenario_store.h"

namespace {

using namespace zorvex;

std::mutex& modelLock() {
    static auto* const lock = new std::mutex;
    return *lock;
}

sim::CachedScenario& cache() {
    static auto* const cached = new sim::CachedScenario;
    return *cached;
}

// The scenario file that the device's parameters name now; empty when none.
std::string scenarioOf(unsigned long entry) {
    wchar_t path[MAX_PATH * 2];
    DWORD size = sizeof path;
    if (RegGetValueW(HKEY_LOCAL_MACHINE, winehid::parametersKey(entry).c_str(),
                     winehid::kScenarioValue, RRF_RT_REG_SZ, nullptr, path,
                     &size) != ERROR_SUCCESS) {
        return {};
    }
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, path, -1, nullptr, 0, nullptr, nullptr);
    std::string utf8(bytes > 0 ? bytes - 1 : 0, '\0');
    if (bytes > 1) {
        WideCharToMultiByte(CP_UTF8, 0, path, -1, utf8.data(), bytes, nullptr, nullptr);
    }
    return utf8;
}

// The chip as the file holds it now; call holding modelLock().
std::optional<sim::SimChip> chipAt(unsigned long entry) {
    const std::string path = scenarioOf(entry);
    if (path.empty()) {
        return std::nullopt;
    }
    sim::refresh(cache(), path);
    const auto& scenario = cache().scenario;
    if (!scenario || entry >= scenario->devices.chips.size()) {
        return std::nullopt;
    }
    return scenario->devices.chips[entry];
}

}  // namespace

extern "C" {

int zorvexChipIds(unsigned long entry, unsigned short* vendorId, unsigned short* productId) {
    try {
        const std::lock_guard<std::mutex> lock(modelLock());
        const auto chip = chipAt(entry);
        if (!chip) {
            return 0;
        }
        *vendorId = chip->vendorId;
        *productId = chip->productId;
        return 1;
    } catch (...) {
        return 0;
    }
}

int zorvexChipString(unsigned long entry, int which, void* buffer, unsigned long bytes,
                     unsigned long* written) {
    try {
        const std::lock_guard<std::mutex> lock(modelLock());
        const auto chip = chipAt(entry);
        const bool product = which == zorvexProduct;
        if (!chip || !(product ? chip->productReadable : chip->manufacturerReadable)) {
            return 0;
        }
        const std::u16string& text = product ? chip->product : chip->manufacturer;
        const std::size_t room = bytes / sizeof(char16_t);
        const std::size_t units = std::min(text.size(), room);
        std::memcpy(buffer, text.data(), units * sizeof(char16_t));
        std::size_t copied = units;
        if (units < room) {
            static_cast<char16_t*>(buffer)[units] = u'\0';
            ++copied;
        }
        *written = static_cast<unsigned long>(copied * sizeof(char16_t));
        return 1;
    } catch (...) {
        return 0;
    }
}

int zorvexChipReport(unsigned long entry, const unsigned char* report, unsigned char* reply) {
    try {
        const std::lock_guard<std::mutex> lock(modelLock());
        const std::string path = scenarioOf(entry);
        HidReport received;
        std::copy_n(report, received.size(), received.begin());
        const sim::Delivery delivery = sim::deliverReport(path, entry, received, &cache());
        if (!delivery.reply) {
            return 0;
        }
        std::copy(delivery.reply->begin() + 1, delivery.reply->end(), reply);
        return 1;
    } catch (...) {
        return 0;
    }
}

}  // extern "C"
