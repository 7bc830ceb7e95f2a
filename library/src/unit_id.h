// What may name a unit: where it is plugged in, as the seam says it (a USB
// port path such as "1-1.4"), or a scenario entry's port. Unit ids stand in
// MQTT topics, settings files and shell words, so none of MQTT's wildcards
// or separators and nothing a shell or a path would read otherwise: 1 to 64
// of A-Z a-z 0-9 _ . -.
#ifndef ZORVEX_UNIT_ID_H
#define ZORVEX_UNIT_ID_H

#include <algorithm>
#include <cstddef>
#include <string_view>

namespace zorvex {

constexpr std::size_t kLongestUnitId = 64;

constexpr bool isUnitIdCharacter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '.' || c == '-';
}

inline bool isUnitId(std::string_view id) {
    return !id.empty() && id.size() <= kLongestUnitId &&
           std::all_of(id.begin(), id.end(), isUnitIdCharacter);
}

}  // namespace zorvex

#endif
