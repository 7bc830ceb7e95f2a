// The settings file: TOML, each key a row of the settings table.
#include <toml++/toml.h>

#include "settings.h"
#include "settings_table.h"
#include "unit_id.h"

namespace zorvex::daemon {

namespace {

bool storeUnitNames(const std::string& name, const toml::table& units, Settings& settings,
                    std::string& problem) {
    for (const auto& [id, unit] : units) {
        const std::string unitId(id.str());
        const toml::node* unitName = unit.is_table() ? unit.as_table()->get("name") : nullptr;
        if (!isUnitId(unitId) || unitName == nullptr || !unitName->is_string()) {
            problem = name + "." + unitId + " must be a unit id with a string name";
            return false;
        }
        settings.unitNames[unitId] = unitName->value<std::string>().value_or("");
    }
    return true;
}

bool storeFromFile(const Setting& setting, const std::string& name, const toml::node& node,
                   Settings& settings, std::string& problem) {
    switch (setting.kind) {
        case Kind::seconds: {
            const std::optional<double> number = node.value<double>();
            if (!number) {
                problem = name + " must be a number of seconds";
                return false;
            }
            return storeSeconds(setting, name, *number, settings, problem);
        }
        case Kind::onOff:
            if (!node.is_boolean()) {
                problem = name + " must be true or false";
                return false;
            }
            settings.*setting.onOff = node.value<bool>().value_or(true);
            return true;
        case Kind::unitNames:
            return storeUnitNames(name, *node.as_table(), settings, problem);
        case Kind::text:
            break;
    }
    if (!node.is_string()) {
        problem = name + " must be a string";
        return false;
    }
    return setting.store(name, node.value<std::string>().value_or(""), settings, problem);
}

}  // namespace

bool readSettingsFile(const std::string& path, Settings& settings, std::string& problem) {
    toml::table table;
    try {
        table = toml::parse_file(path);
    } catch (const toml::parse_error& error) {
        problem = path + ": " + std::string(error.description()) + " (line " +
                  std::to_string(error.source().begin.line) + ")";
        return false;
    }
    for (const auto& [key, node] : table) {
        const std::string name = path + ": " + std::string(key.str());
        const Setting* setting = settingOfKey(std::string(key.str()));
        if (setting == nullptr || (setting->kind == Kind::unitNames && !node.is_table())) {
            problem = name + " is no setting zorvexd knows";
            return false;
        }
        if (!storeFromFile(*setting, name, node, settings, problem)) {
            return false;
        }
    }
    return true;
}

}  // namespace zorvex::daemon
