// The scenario file and the emulator: any file either is refused (and left
// as it was) or loads; a loaded one, after its chips took a report, saves
// and loads again to the very same devices, unless the file is read-only,
// when saving is refused and the file stays as it was. A saved file is the
// document's own dump, also when only one device was written again.
//
// Input: a flags byte (bit 0: the file is read-only; bit 1: chips are
// replugged after the report), a length byte n, n bytes of the report every
// chip takes (at most 64), then the file's text.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "fuzz_check.h"
#include "scenario/file_stamp.h"
#include "scenario/scenario_delivery.h"
#include "scenario/scenario_lock.h"
#include "scenario/scenario_store.h"
#include "text/utf_text.h"

using namespace zorvex;
using namespace zorvex::sim;

namespace {

// A scenario file holds UTF-8, where a lone surrogate (which a flash write
// may store) can only stand as U+FFFD.
std::u16string stored(const std::u16string& units) {
    return text::utf8ToUtf16(text::utf16ToUtf8(units));
}

bool same(const SimChip& a, const SimChip& b) {
    return a.vendorId == b.vendorId && a.productId == b.productId &&
           a.manufacturer == b.manufacturer && a.product == stored(b.product) &&
           a.openable == b.openable && a.attributesReadable == b.attributesReadable &&
           a.manufacturerReadable == b.manufacturerReadable &&
           a.productReadable == b.productReadable && a.responds == b.responds &&
           a.gpSettings == b.gpSettings && a.gpioOutput == b.gpioOutput &&
           a.flash.product == stored(b.flash.product) && a.flash.gpSettings == b.flash.gpSettings &&
           a.flashLocked == b.flashLocked && a.received == b.received;
}

std::string contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string path =
        "/tmp/zorvex-fuzz-scenario-" + std::to_string(getpid()) + ".json";
    static const int cleanUp = std::atexit([] {
        std::remove(path.c_str());
        std::remove((path + ".lock").c_str());
    });
    (void)cleanUp;
    // Paths that hold no scenario file are refused, whatever the input.
    static const bool refusesNonFiles = [] {
        const std::string missing = path + ".missing";
        return !loadScenario(missing) && !loadScenario("/tmp") && !stampOf(missing) &&
               !ScenarioLock(missing).held();
    }();
    check(refusesNonFiles);
    if (size < 2) {
        return -1;  // not kept in the corpus
    }
    const bool readOnly = (data[0] & 1) != 0;
    const bool replugged = (data[0] & 2) != 0;
    // Byte 0 of a report is its ID, always 0 for this chip.
    const std::size_t reportSize = std::min<std::size_t>({data[1], size - 2, kHidReportSize - 1});
    HidReport report{};
    std::copy_n(data + 2, reportSize, report.begin() + 1);
    const std::string text(reinterpret_cast<const char*>(data) + 2 + reportSize,
                           size - 2 - reportSize);
    chmod(path.c_str(), 0600);
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
    if (readOnly) {
        chmod(path.c_str(), 0400);
    }

    // As the simulated library reads it: a cached copy, under the lock.
    CachedScenario cached;
    refresh(cached, path);
    const ScenarioLock lock(path);
    check(lock.held());
    auto scenario = loadScenario(path);
    check(scenario.has_value() == cached.scenario.has_value());
    if (!scenario) {
        check(contents(path) == text);
        return 0;
    }
    for (SimChip& chip : scenario->devices.chips) {
        const bool answers = chip.responds && hasMcp2221aIds(chip);
        const auto reply = receiveReport(chip, report);
        check(reply.has_value() == answers && (!reply || (*reply)[1] == report[1]));
        if (replugged) {
            replug(chip);
        }
    }
    if (readOnly) {
        check(!saveScenario(path, *scenario) && contents(path) == text);
        return 0;
    }
    // Written as the document's own dump, also when only one device was
    // formatted again.
    const auto dumped = [&] {
        return scenario->document.dump(scenario->compact ? -1 : 2, ' ', false,
                                       nlohmann::json::error_handler_t::replace) +
               "\n";
    };
    check(saveScenario(path, *scenario) && contents(path) == dumped());
    if (!scenario->devices.chips.empty()) {
        receiveReport(scenario->devices.chips.back(), report);
        check(saveScenario(path, *scenario, scenario->devices.chips.size() - 1) &&
              contents(path) == dumped());
    }
    const auto stamp = stampOf(path);
    refresh(cached, path);
    check(stamp && cached.stamp == stamp && cached.scenario);
    const auto reloaded = loadScenario(path);
    check(reloaded && reloaded->devices.chips.size() == scenario->devices.chips.size());
    for (std::size_t i = 0; i < scenario->devices.chips.size(); ++i) {
        check(same(reloaded->devices.chips[i], scenario->devices.chips[i]));
    }
    return 0;
}
