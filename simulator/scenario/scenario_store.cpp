#include "scenario/scenario_store.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

#include "scenario/scenario_schema.h"
#include "scenario/scenario_writer.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace zorvex::sim {

namespace {

namespace fs = std::filesystem;
using nlohmann::json;

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
        writeDocument(out, scenario.document, scenario.compact, scenario.entryTexts);
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

std::string scenarioPath() {
    const char* path = std::getenv(kScenarioVariable);
    return path != nullptr ? path : "";
}

}  // namespace zorvex::sim
