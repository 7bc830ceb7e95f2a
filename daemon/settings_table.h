// Every setting zorvexd has, once: its name in the settings file, its flag
// on the command line, what kind of value it takes, and the check that
// stores it. A setting is added here and nowhere else.
#ifndef ZORVEX_DAEMON_SETTINGS_TABLE_H
#define ZORVEX_DAEMON_SETTINGS_TABLE_H

#include <string>

#include "settings.h"

namespace zorvex::daemon {

enum class Kind {
    text,       // a string, checked by `store`
    seconds,    // a number of seconds, from `least` to `most`
    onOff,      // true or false in the file; on the command line the flag stores `flagSets`
    unitNames,  // the file's [units."<id>"] tables, each with a name
};

// Checks a value given as text and stores it; `name` is how a problem
// calls the setting (the flag, or the file and key).
using TextCheck = bool (*)(const std::string& name, const std::string& value, Settings& settings,
                           std::string& problem);

struct Setting {
    const char* key;   // in the file; nullptr: the command line only
    const char* flag;  // on the command line; nullptr: the file only
    Kind kind;
    TextCheck store = nullptr;
    double Settings::*seconds = nullptr;
    double least = 0;
    bool Settings::*onOff = nullptr;
    bool flagSets = true;
    double most = 86400;
};

extern const Setting kSettings[];
extern const std::size_t kSettingCount;

// The setting the file calls `key`; nullptr for none.
const Setting* settingOfKey(const std::string& key);

// The setting a command-line flag that takes a value names: by its flag, or
// by its key spelled as a flag ("--client_id"); nullptr for none.
const Setting* settingOfFlag(const std::string& flag);

// A number of seconds for `setting`, from the file or from text.
bool storeSeconds(const Setting& setting, const std::string& name, double value, Settings& settings,
                  std::string& problem);
bool storeSecondsText(const Setting& setting, const std::string& name, const std::string& text,
                      Settings& settings, std::string& problem);

}  // namespace zorvex::daemon

#endif
