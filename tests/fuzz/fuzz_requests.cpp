// zorvexd's reading of a message from the broker: any topic, payload,
// retain flag, response topic and correlation data. Nothing switches but
// the six words, unretained, on a unit's set topic; a cycle's off time is
// within its bound; no answer ever goes under zorvexd's own topics or to a
// topic with a wildcard; an answer is one JSON object.
#include <cmath>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>

#include "fuzz_check.h"
#include "requests.h"
#include "text/utf_text.h"

using namespace zorvex::daemon;

namespace {

// The input as fields: each ends at a zero byte; the first byte's bits are
// the flags.
std::string field(const std::uint8_t*& data, const std::uint8_t* end) {
    std::string text;
    while (data < end && *data != 0) {
        text.push_back(static_cast<char>(*data++));
    }
    if (data < end) {
        ++data;
    }
    return text;
}

bool isUnder(const std::string& topic, const std::string& prefix) {
    return topic == prefix || topic.rfind(prefix + "/", 0) == 0;
}

bool isWord(const std::string& payload) {
    for (const char* word : {"ON", "OFF", "on", "off", "1", "0"}) {
        if (payload == word) {
            return true;
        }
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) {
        return 0;
    }
    const std::uint8_t flags = data[0];
    const std::uint8_t* at = data + 1;
    const std::uint8_t* end = data + size;
    Settings settings;
    settings.nodeId = "bench";
    settings.cycleOffTime = 3;
    Message message;
    message.retained = (flags & 1) != 0;
    message.hasResponseTopic = (flags & 2) != 0;
    // A topic mostly of zorvexd's own, so that the rules beyond it are met.
    message.topic = ((flags & 4) != 0 ? "zorvex/bench/" : "") + field(at, end);
    message.payload = field(at, end);
    message.responseTopic = field(at, end);
    message.correlation = field(at, end);

    const std::optional<Request> request = readRequest(settings, message);
    if (!request) {
        return 0;
    }
    const std::string leaf = request->command == Command::set ? "/set" : "/cycle";
    check(message.topic == "zorvex/bench/" + request->unit + leaf);
    check(!request->unit.empty() && request->unit.find('/') == std::string::npos);
    if (request->refusal.empty()) {
        check(!message.retained);
        if (request->command == Command::set) {
            check(isWord(message.payload));
            check(request->on ==
                  (message.payload == "ON" || message.payload == "on" || message.payload == "1"));
        } else {
            check(std::isfinite(request->offSeconds) && request->offSeconds >= 0 &&
                  request->offSeconds <= kLongestCycleOff);
            check(!message.payload.empty() || request->offSeconds == settings.cycleOffTime);
        }
    }
    if (!request->answerTopic.empty()) {
        const std::string& topic = request->answerTopic;
        check(message.hasResponseTopic && topic == message.responseTopic);
        check(!isUnder(topic, settings.baseTopic) && !isUnder(topic, settings.discoveryPrefix));
        check(topic.find_first_of("+#") == std::string::npos);
        check(request->correlation == message.correlation);
        check(zorvex::text::utf16ToUtf8(zorvex::text::utf8ToUtf16(topic)) == topic);
    } else {
        check(request->correlation.empty());
        check(!message.hasResponseTopic || !request->answerRefusal.empty());
    }
    const std::string answer =
        answerPayload(request->refusal.empty(), {}, request->refusal + request->answerRefusal);
    check(answer.find('\n') == std::string::npos && nlohmann::json::accept(answer));
    return 0;
}
