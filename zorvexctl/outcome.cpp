#include "outcome.h"

#include <algorithm>

namespace zorvex::ctl {

std::string idOf(const std::string& unit, const std::vector<std::string>& ids, const Known& known) {
    if (std::find(ids.begin(), ids.end(), unit) != ids.end()) {
        return unit;
    }
    // A name given to two units names neither.
    std::string named;
    for (const auto& [id, name] : known.names) {
        if (name == unit && std::find(ids.begin(), ids.end(), id) != ids.end()) {
            if (!named.empty()) {
                return {};
            }
            named = id;
        }
    }
    return named;
}

}  // namespace zorvex::ctl
