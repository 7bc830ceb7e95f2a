#include "scenario/scenario_schema.h"

#include "text/utf_text.h"
#include "unit_id.h"

namespace zorvex::sim {

using nlohmann::json;

bool nestsWithin(const std::string& text, int limit) {
    int depth = 0;
    bool inString = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (inString) {
            if (c == '\\') {
                ++i;
            } else if (c == '"') {
                inString = false;
            }
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            if (++depth > limit) {
                return false;
            }
        } else if (c == ']' || c == '}') {
            --depth;
        }
    }
    return true;
}

namespace {

bool isUnsignedUpTo(const json& value, std::uint64_t limit) {
    return value.is_number_unsigned() && value.get<std::uint64_t>() <= limit;
}

bool isPins(const json& value) {
    if (!value.is_array() || value.size() != 4) {
        return false;
    }
    for (const json& pin : value) {
        if (!isUnsignedUpTo(pin, 0xFF)) {
            return false;
        }
    }
    return true;
}

bool isStrings(const json& value) {
    if (!value.is_array()) {
        return false;
    }
    for (const json& item : value) {
        if (!item.is_string()) {
            return false;
        }
    }
    return true;
}

bool isPortText(const json& value) {
    return value.is_string() && isUnitId(value.get_ref<const std::string&>());
}

// What is wrong with a device entry, or empty text when nothing is.
std::string problemWithDevice(const json& entry) {
    if (!entry.is_object()) {
        return "is not an object";
    }
    for (const char* id : {"vendorId", "productId"}) {
        if (!entry.contains(id) || !isUnsignedUpTo(entry.at(id), 0xFFFF)) {
            return std::string(id) + " must be an integer from 0 to 65535";
        }
    }
    for (const char* text : {"manufacturer", "product"}) {
        if (entry.contains(text) && !entry.at(text).is_string()) {
            return std::string(text) + " must be a string";
        }
    }
    if (entry.contains("port") && !isPortText(entry.at("port"))) {
        return "port must be 1 to 64 of the characters A-Z a-z 0-9 _ . -";
    }
    for (const char* flag : {"present", "openable", "attributesReadable", "manufacturerReadable",
                             "productReadable", "responds", "flashLocked"}) {
        if (entry.contains(flag) && !entry.at(flag).is_boolean()) {
            return std::string(flag) + " must be true or false";
        }
    }
    for (const char* pins : {"gpSettings", "gpioOutput"}) {
        if (entry.contains(pins) && !isPins(entry.at(pins))) {
            return std::string(pins) + " must be four integers from 0 to 255";
        }
    }
    if (entry.contains("flash")) {
        const json& flash = entry.at("flash");
        if (!flash.is_object() || (flash.contains("product") && !flash.at("product").is_string()) ||
            (flash.contains("gpSettings") && !isPins(flash.at("gpSettings")))) {
            return "flash must be an object with a string product and four gpSettings";
        }
    }
    if (entry.contains("received") && !isStrings(entry.at("received"))) {
        return "received must be a list of strings";
    }
    return {};
}

}  // namespace

std::string problemWith(const json& document) {
    if (!document.is_object() || !document.contains("devices") ||
        !document.at("devices").is_array()) {
        return "no \"devices\" list";
    }
    const json& entries = document.at("devices");
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const std::string problem = problemWithDevice(entries[i]);
        if (!problem.empty()) {
            return "device " + std::to_string(i) + ": " + problem;
        }
    }
    return {};
}

namespace {

std::u16string textField(const json& entry, const char* name, const std::u16string& fallback) {
    return entry.contains(name) ? text::utf8ToUtf16(entry.at(name).get<std::string>()) : fallback;
}

PinBytes pinsField(const json& entry, const char* name, const PinBytes& fallback) {
    return entry.contains(name) ? entry.at(name).get<PinBytes>() : fallback;
}

}  // namespace

SimChip chipFromJson(const json& entry) {
    SimChip chip;
    chip.vendorId = entry.at("vendorId").get<std::uint16_t>();
    chip.productId = entry.at("productId").get<std::uint16_t>();
    chip.manufacturer = textField(entry, "manufacturer", u"");
    chip.product = textField(entry, "product", u"");
    chip.present = entry.value("present", true);
    chip.port = entry.value("port", std::string());
    chip.openable = entry.value("openable", true);
    chip.attributesReadable = entry.value("attributesReadable", true);
    chip.manufacturerReadable = entry.value("manufacturerReadable", true);
    chip.productReadable = entry.value("productReadable", true);
    chip.responds = entry.value("responds", true);
    chip.gpSettings = pinsField(entry, "gpSettings", kFactoryGpSettings);
    chip.gpioOutput = pinsField(entry, "gpioOutput", PinBytes{});
    const auto flash = entry.find("flash");
    const json noFlash = json::object();
    const json& flashEntry = flash != entry.end() ? *flash : noFlash;
    chip.flash.product = textField(flashEntry, "product", chip.product);
    chip.flash.gpSettings = pinsField(flashEntry, "gpSettings", chip.gpSettings);
    chip.flashLocked = entry.value("flashLocked", false);
    if (entry.contains("received")) {
        chip.received = entry.at("received").get<std::vector<std::string>>();
    }
    return chip;
}

json toJson(const SimChip& chip) {
    return json{
        {"vendorId", chip.vendorId},
        {"productId", chip.productId},
        {"manufacturer", text::utf16ToUtf8(chip.manufacturer)},
        {"product", text::utf16ToUtf8(chip.product)},
        {"present", chip.present},
        {"port", chip.port},
        {"openable", chip.openable},
        {"attributesReadable", chip.attributesReadable},
        {"manufacturerReadable", chip.manufacturerReadable},
        {"productReadable", chip.productReadable},
        {"responds", chip.responds},
        {"gpSettings", chip.gpSettings},
        {"gpioOutput", chip.gpioOutput},
        {"flash",
         {{"product", text::utf16ToUtf8(chip.flash.product)},
          {"gpSettings", chip.flash.gpSettings}}},
        {"flashLocked", chip.flashLocked},
        {"received", chip.received},
    };
}

// A file that leaves the flash out has it default to the live product and
// GP settings, so when those change the flash is written out too.
void mergeChanges(json& entry, const SimChip& now, const SimChip* before) {
    const json fields = toJson(now);
    const json previous = before != nullptr ? toJson(*before) : json::object();
    bool flashDefaultMoved = false;
    for (const auto& [key, value] : fields.items()) {
        if (!previous.contains(key) || previous.at(key) != value) {
            entry[key] = value;
            flashDefaultMoved = flashDefaultMoved || key == "product" || key == "gpSettings";
        }
    }
    if (flashDefaultMoved && !entry.contains("flash")) {
        entry["flash"] = fields.at("flash");
    }
}

}  // namespace zorvex::sim
