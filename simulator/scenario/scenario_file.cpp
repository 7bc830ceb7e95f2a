#include "scenario/scenario_file.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>
#include <system_error>

#include "text/utf_text.h"
#include "unit_id.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace zorvex::sim {

namespace {

namespace fs = std::filesystem;
using nlohmann::json;

// A scenario nests five deep (file, devices, device, flash, pins); anything
// far deeper is no scenario, and is refused before a parser or writer could
// recurse through it.
constexpr int kMaxNesting = 32;

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

std::u16string textField(const json& entry, const char* name, const std::u16string& fallback) {
    return entry.contains(name) ? text::utf8ToUtf16(entry.at(name).get<std::string>()) : fallback;
}

PinBytes pinsField(const json& entry, const char* name, const PinBytes& fallback) {
    return entry.contains(name) ? entry.at(name).get<PinBytes>() : fallback;
}

// From an entry that passed problemWithDevice.
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

// Writes into `entry` the fields of `now` that differ from `before`. A file
// that leaves the flash out has it default to the live product and GP
// settings, so when those change the flash is written out too.
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

// `value` as the whole document's dump shows it `depth` levels deep.
std::string dumpNested(const json& value, bool compact, unsigned depth) {
    std::string text;
    nlohmann::detail::serializer<json> writer(nlohmann::detail::output_adapter<char>(text), ' ',
                                              json::error_handler_t::replace);
    writer.dump(value, !compact, false, 2, compact ? 0 : 2 * depth);
    return text;
}

// The document as its dump would give it, one line or indented by two,
// with the device entries taken from their texts: only a changed device
// costs its formatting.
void writeDocument(std::ostream& out, const Scenario& scenario) {
    const bool pretty = !scenario.compact;
    const char* const next = pretty ? ",\n" : ",";
    out << (pretty ? "{\n" : "{");
    for (auto member = scenario.document.begin(); member != scenario.document.end(); ++member) {
        out << (member != scenario.document.begin() ? next : "") << (pretty ? "  " : "")
            << dumpNested(json(member.key()), true, 0) << (pretty ? ": " : ":");
        if (member.key() != "devices") {
            out << dumpNested(member.value(), scenario.compact, 1);
        } else if (scenario.entryTexts.empty()) {
            out << "[]";
        } else {
            out << (pretty ? "[\n" : "[");
            for (std::size_t i = 0; i < scenario.entryTexts.size(); ++i) {
                out << (i > 0 ? next : "") << (pretty ? "    " : "") << scenario.entryTexts[i];
            }
            out << (pretty ? "\n  ]" : "]");
        }
    }
    out << (pretty ? "\n}\n" : "}\n");
}

bool readFile(const std::string& path, std::string& text) {
    std::error_code error;
    if (!fs::is_regular_file(fs::u8path(path), error)) {
        return false;  // a FIFO or a device would block or never end
    }
    std::ifstream in(fs::u8path(path), std::ios::binary);
    if (!in) {
        return false;
    }
    text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

bool mayReplace(const fs::path& target) {
    std::error_code error;
    const fs::perms perms = fs::status(target, error).permissions();
    if (error || (perms & (fs::perms::owner_write | fs::perms::group_write |
                           fs::perms::others_write)) == fs::perms::none) {
        return false;
    }
#if !defined(_WIN32)
    if (access(target.c_str(), W_OK) != 0) {
        return false;
    }
#endif
    return true;
}

unsigned long processId() {
#if defined(_WIN32)
    return GetCurrentProcessId();
#else
    return static_cast<unsigned long>(getpid());
#endif
}

}  // namespace

std::optional<Scenario> loadScenario(const std::string& path, std::string* problem) {
    const auto fail = [problem](const std::string& why) -> std::optional<Scenario> {
        if (problem != nullptr) {
            *problem = why;
        }
        return std::nullopt;
    };
    std::string text;
    if (!readFile(path, text)) {
        return fail("not a readable regular file");
    }
    if (!nestsWithin(text, kMaxNesting)) {
        return fail("nested deeper than " + std::to_string(kMaxNesting) + " levels");
    }
    json document = json::parse(text, nullptr, false);
    if (document.is_discarded()) {
        return fail("not valid JSON");
    }
    const std::string wrong = problemWith(document);
    if (!wrong.empty()) {
        return fail(wrong);
    }
    Scenario scenario;
    for (const json& entry : document.at("devices")) {
        scenario.devices.chips.push_back(chipFromJson(entry));
    }
    scenario.written = scenario.devices;
    const std::size_t lastBreak = text.find_last_not_of("\r\n");
    scenario.compact = text.find('\n') >= lastBreak || lastBreak == std::string::npos;
    scenario.document = std::move(document);
    return scenario;
}

bool saveScenario(const std::string& path, Scenario& scenario,
                  std::optional<std::size_t> onlyDevice) {
    std::error_code error;
    const fs::path target = fs::canonical(fs::u8path(path), error);
    if (error || !mayReplace(target)) {
        return false;
    }
    json& entries = scenario.document["devices"];
    const std::size_t first = onlyDevice.value_or(0);
    const std::size_t end = onlyDevice ? *onlyDevice + 1 : scenario.devices.chips.size();
    for (std::size_t i = first; i < end && i < entries.size(); ++i) {
        const SimChip* before =
            i < scenario.written.chips.size() ? &scenario.written.chips[i] : nullptr;
        mergeChanges(entries[i], scenario.devices.chips[i], before);
    }
    // A device's text is made again only when that device was looked at.
    std::vector<std::string>& texts = scenario.entryTexts;
    const bool allAgain = !onlyDevice || texts.size() != entries.size();
    texts.resize(entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (allAgain || i == *onlyDevice) {
            texts[i] = dumpNested(entries[i], scenario.compact, 2);
        }
    }
    // Beside the target, one temporary file per process, renamed over it:
    // a reader sees the old file or the new one, never half of either.
    fs::path temporary = target;
    temporary += "." + std::to_string(processId()) + ".tmp";
    {
        // Written straight through the stream's buffer: a whole file's text
        // in memory would cost its allocation and page faults every report.
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        writeDocument(out, scenario);
        if (!out.flush()) {
            out.close();
            fs::remove(temporary, error);
            return false;
        }
    }
    fs::permissions(temporary, fs::status(target, error).permissions(), error);
    fs::rename(temporary, target, error);
    if (error) {
        fs::remove(temporary, error);
        return false;
    }
    if (onlyDevice && *onlyDevice < scenario.written.chips.size()) {
        scenario.written.chips[*onlyDevice] = scenario.devices.chips[*onlyDevice];
    } else {
        scenario.written = scenario.devices;
    }
    return true;
}

ScenarioLock::ScenarioLock(const std::string& path) {
    std::error_code error;
    fs::path lockFile = fs::canonical(fs::u8path(path), error);
    if (error) {
        return;
    }
    lockFile += ".lock";
#if defined(_WIN32)
    const HANDLE file = CreateFileW(lockFile.c_str(), GENERIC_READ | GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return;
    }
    file_ = reinterpret_cast<std::intptr_t>(file);
    OVERLAPPED whole{};
    held_ = LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &whole) != 0;
#else
    const int file = open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (file < 0) {
        return;
    }
    file_ = file;
    int result;
    while ((result = flock(file, LOCK_EX)) != 0 && errno == EINTR) {
    }
    held_ = result == 0;
#endif
}

ScenarioLock::~ScenarioLock() {
    // Closing the lock file releases the lock.
#if defined(_WIN32)
    if (file_ != -1) {
        CloseHandle(reinterpret_cast<HANDLE>(file_));
    }
#else
    if (file_ >= 0) {
        close(static_cast<int>(file_));
    }
#endif
}

bool FileStamp::operator==(const FileStamp& other) const {
    return device == other.device && identity == other.identity && size == other.size &&
           modified == other.modified;
}

std::optional<FileStamp> stampOf(const std::string& path) {
#if defined(_WIN32)
    const HANDLE file = CreateFileW(fs::u8path(path).c_str(), FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return std::nullopt;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    const bool known = GetFileInformationByHandle(file, &info) != 0;
    CloseHandle(file);
    if (!known) {
        return std::nullopt;
    }
    FileStamp stamp;
    stamp.device = info.dwVolumeSerialNumber;
    stamp.identity = (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
    stamp.size = (std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
    stamp.modified =
        static_cast<std::int64_t>((std::uint64_t{info.ftLastWriteTime.dwHighDateTime} << 32) |
                                  info.ftLastWriteTime.dwLowDateTime);
    return stamp;
#else
    struct stat status {};
    if (stat(path.c_str(), &status) != 0) {
        return std::nullopt;
    }
    FileStamp stamp;
    stamp.device = static_cast<std::uint64_t>(status.st_dev);
    stamp.identity = static_cast<std::uint64_t>(status.st_ino);
    stamp.size = static_cast<std::uint64_t>(status.st_size);
    stamp.modified =
        static_cast<std::int64_t>(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec;
    return stamp;
#endif
}

void refresh(CachedScenario& cached, const std::string& path) {
    const std::optional<FileStamp> stamp = stampOf(path);
    if (path == cached.path && stamp == cached.stamp && (stamp || !cached.scenario)) {
        return;
    }
    cached.path = path;
    cached.stamp = stamp;
    cached.scenario = stamp ? loadScenario(path) : std::nullopt;
}

Delivery deliverReport(const std::string& path, std::size_t index, const HidReport& report,
                       CachedScenario* cache) {
    const ScenarioLock lock(path);
    if (!lock.held()) {
        return {};
    }
    // Under the lock the file is as some writer left it; a cached copy of
    // that very version (each write is a new file) saves parsing it again,
    // and the chip works on that copy itself rather than on a copy of it.
    std::optional<Scenario> loaded;
    Scenario* scenario = nullptr;
    if (cache != nullptr) {
        refresh(*cache, path);
        scenario = cache->scenario ? &*cache->scenario : nullptr;
    } else if ((loaded = loadScenario(path))) {
        scenario = &*loaded;
    }
    // A device unplugged since it was opened takes nothing.
    if (scenario == nullptr || index >= scenario->devices.chips.size() ||
        !scenario->devices.chips[index].present) {
        return {};
    }
    Delivery delivery;
    delivery.delivered = true;
    std::optional<HidReport> reply = receiveReport(scenario->devices.chips[index], report);
    const bool saved = saveScenario(path, *scenario, index);
    if (saved) {
        delivery.reply = reply;
    }
    if (cache != nullptr && saved) {
        cache->stamp = stampOf(path);
    } else if (cache != nullptr) {
        // The copy holds a report the file never took: read the file again.
        *cache = CachedScenario{};
        refresh(*cache, path);
    }
    return delivery;
}

std::string scenarioPath() {
    const char* path = std::getenv(kScenarioVariable);
    return path != nullptr ? path : "";
}

}  // namespace zorvex::sim
