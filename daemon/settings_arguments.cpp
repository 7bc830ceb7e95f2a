// The command line, over the settings file it names.
#include <unistd.h>

#include "settings.h"
#include "settings_table.h"

namespace zorvex::daemon {

namespace {

// The file first, so that the command line goes over it.
bool readNamedFile(const std::vector<std::string>& arguments, Settings& settings,
                   std::string& problem) {
    bool configGiven = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        if (arguments[i] == "--config") {
            if (i + 1 >= arguments.size()) {
                problem = "--config needs a file";
                return false;
            }
            settings.config = arguments[i + 1];
            configGiven = true;
        }
    }
    if (!configGiven && access(settings.config.c_str(), F_OK) != 0) {
        return true;
    }
    if (access(settings.config.c_str(), R_OK) != 0) {
        problem = settings.config + ": cannot be read";
        return false;
    }
    return readSettingsFile(settings.config, settings, problem);
}

const Setting* switchOfFlag(const std::string& flag) {
    for (std::size_t i = 0; i < kSettingCount; ++i) {
        const Setting& setting = kSettings[i];
        if (setting.kind == Kind::onOff && setting.flag != nullptr && flag == setting.flag) {
            return &setting;
        }
    }
    return nullptr;
}

bool readArguments(const std::vector<std::string>& arguments, Settings& settings,
                   std::string& problem) {
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& flag = arguments[i];
        if (flag == "--config") {
            ++i;  // read first
            continue;
        }
        if (const Setting* onOff = switchOfFlag(flag)) {
            settings.*onOff->onOff = onOff->flagSets;
            continue;
        }
        const Setting* setting = settingOfFlag(flag);
        if (setting == nullptr) {
            problem = flag.rfind("--password", 0) == 0
                          ? "no password on the command line: use --password-file FILE"
                          : "unknown option \"" + flag + "\" (see --help)";
            return false;
        }
        const bool given = i + 1 < arguments.size();
        const std::string value = given ? arguments[i + 1] : std::string();
        const bool stored = setting->kind == Kind::seconds
                                ? storeSecondsText(*setting, flag, value, settings, problem)
                                : setting->store(flag, value, settings, problem);
        if (!given) {
            problem = flag + " needs a value";
            return false;
        }
        if (!stored) {
            return false;
        }
        ++i;
    }
    return true;
}

// A problem quotes what it found, which may hold anything: it is said on
// one line, its control characters as "?".
bool refused(std::string& problem) {
    for (char& c : problem) {
        c = (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) ? '?' : c;
    }
    return false;
}

}  // namespace

bool readSettings(const std::vector<std::string>& arguments, Settings& settings,
                  std::string& problem) {
    if (!readNamedFile(arguments, settings, problem) ||
        !readArguments(arguments, settings, problem)) {
        return refused(problem);
    }
    if (settings.certFile.empty() != settings.keyFile.empty()) {
        problem = "--cert and --key go together";
        return false;
    }
    if (!settings.certFile.empty() && settings.caFile.empty()) {
        problem = "--cert needs --cafile: a client certificate is for TLS";
        return false;
    }
    if (settings.nodeId.empty()) {
        char host[256] = {};
        gethostname(host, sizeof host - 1);
        settings.nodeId = reducedNodeId(host);
    }
    if (settings.clientId.empty()) {
        settings.clientId = "zorvexd-" + settings.nodeId;
    }
    return true;
}

}  // namespace zorvex::daemon
