// zorvexd's connection to the broker through libmosquitto: the client with
// its will, credentials and TLS, connecting and reconnecting with back-off,
// and what the broker sends. The link's state is one of four.
#ifndef ZORVEX_DAEMON_MQTT_SESSION_H
#define ZORVEX_DAEMON_MQTT_SESSION_H

#include <chrono>
#include <deque>
#include <memory>
#include <string>

#include "settings.h"

struct mosquitto;
struct mosquitto_message;
struct mqtt5__property;
typedef struct mqtt5__property mosquitto_property;

namespace zorvex::daemon {

using Clock = std::chrono::steady_clock;

enum class Link {
    unasked,     // no connection asked for yet: the first attempt gives the broker's address
    down,        // lost, refused or unanswered: the next attempt reconnects
    connecting,  // asked for; the broker's answer (CONNACK) is awaited
    up,          // connected
};

struct Message {
    std::string topic;
    std::string payload;
    bool retained = false;
    // MQTT 5's request and response: where the asker awaits the answer,
    // and the correlation data it goes with.
    bool hasResponseTopic = false;
    std::string responseTopic;
    std::string correlation;
};

// A message as libmosquitto hands it over, with its MQTT 5 properties.
Message messageOf(const mosquitto_message& message, const mosquitto_property* properties);

// The client's credentials (the password from its file) and TLS, as the
// settings give them; false, logged, for what the broker library refuses.
// zorvexd and zorvexctl meet the broker alike.
bool setCredentials(mosquitto* client, const Settings& settings);

// What libmosquitto's callbacks saw since the session last looked: events,
// which the session turns into the link's state.
struct LinkNews {
    bool accepted = false;  // the broker accepted the connection
    int refusal = 0;        // the broker refused it, and why (a CONNACK code)
    bool closed = false;    // the connection ended
    bool dropped = false;   // ... and not because either side asked for it
};

struct MosquittoFree {
    void operator()(mosquitto* client) const;
};

class MqttSession {
  public:
    explicit MqttSession(const Settings& settings);

    // The client, its will ("offline" on the status topic), credentials and
    // TLS; false, logged, for settings the broker library refuses.
    bool setUp();
    // Starts an attempt when one is due, and gives up on one the broker has
    // not answered in time.
    void connectIfDue();
    // Serves the connection for at most `waitMs` (sleeps that long when
    // there is none). True when the broker has just accepted the connection.
    bool serve(int waitMs);
    // Reads and writes what is waiting now, without waiting.
    void serveNow();
    // Retained unless asked otherwise; dropped while not connected.
    void publish(const std::string& topic, const std::string& payload, bool retain = true);
    // An answer to a request: not retained, with its correlation data.
    void answer(const std::string& topic, const std::string& payload,
                const std::string& correlation);
    // With "retain as published", so that a retained message arrives marked.
    void subscribe(const std::string& topic);
    // Says "offline" on the status topic and disconnects cleanly.
    void close(const std::string& statusTopic);

    Link link() const { return link_; }
    bool connected() const { return link_ == Link::up; }
    // When the next attempt is due, while the link is down.
    Clock::time_point nextAttempt() const { return nextAttempt_; }
    // What the broker sent, oldest first.
    std::deque<Message> messages;
    LinkNews news;

  private:
    void retryLater();
    bool takeNews();

    const Settings& settings_;
    std::unique_ptr<mosquitto, MosquittoFree> client_;
    Link link_ = Link::unasked;
    Clock::time_point connectStarted_;
    Clock::time_point nextAttempt_ = Clock::now();
    double retry_;
    // "unreachable" is logged once until the next connection.
    bool unreachableLogged_ = false;
};

}  // namespace zorvex::daemon

#endif
