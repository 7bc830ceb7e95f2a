// zorvexd's settings, from a settings file (any TOML text, any bytes) and
// a command line (any words): read or refused, never a crash. A refusal is
// one line; what is read is within every setting's bounds.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "settings.h"
#include "unit_id.h"

using namespace zorvex::daemon;

namespace {

bool isNodeId(const std::string& id) {
    if (id.empty() || id.size() > 64) {
        return false;
    }
    for (const char c : id) {
        if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '-')) {
            return false;
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The file's text, then after a zero byte the words of the command
    // line, each ended by a newline.
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::size_t split = input.find('\0');
    const std::string text = input.substr(0, split);
    std::vector<std::string> arguments;
    if (split != std::string::npos) {
        std::string word;
        for (const char c : input.substr(split + 1)) {
            if (c == '\n') {
                arguments.push_back(word);
                word.clear();
            } else {
                word.push_back(c);
            }
        }
    }
    char path[] = "/tmp/fuzz-settings-XXXXXX";
    const int file = mkstemp(path);
    if (file < 0) {
        return 0;
    }
    const bool written = write(file, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    close(file);
    arguments.insert(arguments.begin(), {"--config", path});

    Settings settings;
    std::string problem;
    const bool read = written && readSettings(arguments, settings, problem);
    unlink(path);
    if (!read) {
        check(!written || (!problem.empty() && problem.find('\n') == std::string::npos));
        return 0;
    }
    check(settings.port >= 1 && settings.port <= 65535 && !settings.host.empty());
    check(settings.pollInterval >= 0.05 && settings.pollInterval <= 86400);
    check(settings.cycleOffTime >= 0 && settings.cycleOffTime <= kLongestCycleOff);
    check(settings.discoveryRemoval >= 0 && settings.discoveryRemoval <= 86400);
    check(isNodeId(settings.nodeId));
    check(!settings.baseTopic.empty() &&
          settings.baseTopic.find_first_of("+#") == std::string::npos);
    check(settings.certFile.empty() == settings.keyFile.empty());
    for (const auto& [id, name] : settings.unitNames) {
        check(zorvex::isUnitId(id));
    }
    return 0;
}
