// What a set message asks, read without touching a chip: which unit its
// topic names, and whether its payload is one of the six words.
#ifndef ZORVEX_DAEMON_SET_COMMANDS_H
#define ZORVEX_DAEMON_SET_COMMANDS_H

#include <cstddef>
#include <optional>
#include <string>

namespace zorvex::daemon {

// A set payload longer than this switches nothing, whatever it holds.
constexpr std::size_t kLongestSetPayload = 16;

// The unit id in "<prefix>/<unit>/set", where `prefix` is "<base>/<node>";
// nullopt for any other topic.
std::optional<std::string> unitOfSetTopic(const std::string& prefix, const std::string& topic);

// ON, on, 1 (true) or OFF, off, 0 (false); anything else, an overlong
// payload or invalid UTF-8 among them, is nullopt.
std::optional<bool> switchWord(const std::string& payload);

// A payload as a log line may show it: printable ASCII, the rest as "?",
// cut after 32 bytes.
std::string printable(const std::string& payload);

}  // namespace zorvex::daemon

#endif
