#include "scenario_file.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "utf_text.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace zorvex::sim {

namespace {

using nlohmann::json;

std::u16string textField(const json& entry, const char* name, const std::u16string& fallback) {
    return entry.contains(name) ? utf8ToUtf16(entry.at(name).get<std::string>()) : fallback;
}

bool flagField(const json& entry, const char* name) {
    return entry.value(name, true);
}

PinBytes pinsField(const json& entry, const char* name, const PinBytes& fallback) {
    return entry.contains(name) ? entry.at(name).get<PinBytes>() : fallback;
}

SimChip chipFromJson(const json& entry) {
    SimChip chip;
    chip.vendorId = entry.at("vendorId").get<std::uint16_t>();
    chip.productId = entry.at("productId").get<std::uint16_t>();
    chip.manufacturer = textField(entry, "manufacturer", u"");
    chip.product = textField(entry, "product", u"");
    chip.openable = flagField(entry, "openable");
    chip.attributesReadable = flagField(entry, "attributesReadable");
    chip.manufacturerReadable = flagField(entry, "manufacturerReadable");
    chip.productReadable = flagField(entry, "productReadable");
    chip.responds = flagField(entry, "responds");
    chip.gpSettings = pinsField(entry, "gpSettings", kFactoryGpSettings);
    chip.gpioOutput = pinsField(entry, "gpioOutput", PinBytes{});
    const json flash = entry.value("flash", json::object());
    chip.flash.product = textField(flash, "product", chip.product);
    chip.flash.gpSettings = pinsField(flash, "gpSettings", chip.gpSettings);
    chip.flashLocked = entry.value("flashLocked", false);
    chip.received = entry.value("received", std::vector<std::string>{});
    return chip;
}

SimDevices devicesFromJson(const json& document) {
    SimDevices devices;
    for (const json& entry : document.at("devices")) {
        devices.chips.push_back(chipFromJson(entry));
    }
    return devices;
}

json toJson(const SimChip& chip) {
    return json{
        {"vendorId", chip.vendorId},
        {"productId", chip.productId},
        {"manufacturer", utf16ToUtf8(chip.manufacturer)},
        {"product", utf16ToUtf8(chip.product)},
        {"openable", chip.openable},
        {"attributesReadable", chip.attributesReadable},
        {"manufacturerReadable", chip.manufacturerReadable},
        {"productReadable", chip.productReadable},
        {"responds", chip.responds},
        {"gpSettings", chip.gpSettings},
        {"gpioOutput", chip.gpioOutput},
        {"flash",
         {{"product", utf16ToUtf8(chip.flash.product)}, {"gpSettings", chip.flash.gpSettings}}},
        {"flashLocked", chip.flashLocked},
        {"received", chip.received},
    };
}

}  // namespace

std::optional<Scenario> loadScenario(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    try {
        Scenario scenario;
        scenario.document = json::parse(in);
        scenario.devices = devicesFromJson(scenario.document);
        return scenario;
    } catch (const json::exception&) {
        return std::nullopt;
    }
}

bool saveScenario(const std::string& path, Scenario& scenario) {
    json& entries = scenario.document["devices"];
    for (std::size_t i = 0; i < scenario.devices.chips.size(); ++i) {
        entries[i].update(toJson(scenario.devices.chips[i]));
    }
    // Written beside the file and renamed over it, so that a reader never
    // sees half a scenario.
    const std::string temporary = path + ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << scenario.document.dump(2) << '\n';
        if (!out.flush()) {
            return false;
        }
    }
#if defined(_WIN32)
    return MoveFileExA(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
#else
    return std::rename(temporary.c_str(), path.c_str()) == 0;
#endif
}

std::string scenarioPath() {
    const char* path = std::getenv(kScenarioVariable);
    return path != nullptr ? path : "";
}

}  // namespace zorvex::sim
