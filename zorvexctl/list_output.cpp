#include "list_output.h"

#include <nlohmann/json.hpp>

namespace zorvex::ctl {

namespace {

std::string orDash(const std::string& text) {
    return text.empty() ? "-" : text;
}

nlohmann::json orNull(const std::string& text) {
    return text.empty() ? nlohmann::json() : nlohmann::json(text);
}

}  // namespace

std::string listText(const std::vector<UnitRow>& rows) {
    std::string text;
    for (const UnitRow& row : rows) {
        text += row.id + "\t" + orDash(row.state) + "\t" +
                (row.switchable ? "switchable" : "not switchable") + "\t" + orDash(row.name) +
                "\t" + row.product + "\n";
    }
    return text;
}

std::string listJson(const std::vector<UnitRow>& rows) {
    nlohmann::json list = nlohmann::json::array();
    for (const UnitRow& row : rows) {
        list.push_back({{"id", row.id},
                        {"name", orNull(row.name)},
                        {"product", row.product},
                        {"state", orNull(row.state)},
                        {"switchable", row.switchable}});
    }
    // Names and strings come from the chips and the settings: bytes that
    // are not UTF-8 are replaced, never a broken document.
    return list.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

}  // namespace zorvex::ctl
