// What a message to zorvexd asks, read without touching a chip: which
// unit, a switch ("<unit>/set", one of six words) or a power cycle
// ("<unit>/cycle", the off time), and where the answer may go.
#ifndef ZORVEX_DAEMON_REQUESTS_H
#define ZORVEX_DAEMON_REQUESTS_H

#include <cstddef>
#include <optional>
#include <string>

#include "mqtt_session.h"
#include "settings.h"

namespace zorvex::daemon {

// A set or cycle payload longer than this does nothing, whatever it holds.
constexpr std::size_t kLongestSetPayload = 16;

enum class Command { set, cycle };

struct Request {
    Command command = Command::set;
    std::string unit;
    bool on = false;          // set: what was asked
    double offSeconds = 0.0;  // cycle: how long the unit stays off
    // Non-empty: nothing is done, for this reason.
    std::string refusal;
    // Where the answer goes, with the correlation data; empty for none.
    std::string answerTopic;
    std::string correlation;
    // Non-empty: an answer was asked for on a topic zorvexd may not use,
    // and why; such a request is refused whole, unanswered.
    std::string answerRefusal;
};

// The request in `message`; nullopt for a topic that is none of the units'
// command topics.
std::optional<Request> readRequest(const Settings& settings, const Message& message);

// An answer: whether it was done, the state read back ("ON", "OFF" or
// empty), and why not. JSON on one line.
std::string answerPayload(bool done, const std::string& state, const std::string& reason);

// ON, on, 1 (true) or OFF, off, 0 (false); anything else, an overlong
// payload or invalid UTF-8 among them, is nullopt.
std::optional<bool> switchWord(const std::string& payload);

// A payload as a log line may show it: printable ASCII, the rest as "?",
// cut after 32 bytes.
std::string printable(const std::string& payload);

}  // namespace zorvex::daemon

#endif
