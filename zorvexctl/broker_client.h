// zorvexctl's one connection to the broker for one command: MQTT 5, with
// zorvexd's own credentials and TLS, every wait bounded by one deadline.
#ifndef ZORVEX_ZORVEXCTL_BROKER_CLIENT_H
#define ZORVEX_ZORVEXCTL_BROKER_CLIENT_H

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "mqtt_session.h"
#include "settings.h"

struct mosquitto;

namespace zorvex::ctl {

using Clock = std::chrono::steady_clock;

// What the broker told the client since it last looked.
struct Inbox {
    bool connected = false;
    int refusal = 0;
    bool closed = false;
    int subscriptions = 0;
    std::vector<daemon::Message> messages;
};

class BrokerClient {
  public:
    BrokerClient(const daemon::Settings& settings, Clock::time_point deadline);
    ~BrokerClient();
    BrokerClient(const BrokerClient&) = delete;
    BrokerClient& operator=(const BrokerClient&) = delete;

    // Connected, or the one line saying why not.
    std::string connect();
    // Subscribed to every topic, before the deadline.
    bool subscribe(const std::vector<std::string>& topics);
    // Publishes a request that asks for its answer on `answerTopic`.
    void request(const std::string& topic, const std::string& payload,
                 const std::string& answerTopic, const std::string& correlation);

    // Serves the connection until `done` holds, the deadline (or `until`)
    // passes, or the connection ends; whether `done` held.
    template <typename Done>
    bool serveUntil(Done done, Clock::time_point until = Clock::time_point::max()) {
        const Clock::time_point end = std::min(until, deadline_);
        while (!done()) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
            if (left <= 0 || !serveFor(static_cast<int>(std::min<long long>(left, 100)))) {
                return done();
            }
        }
        return true;
    }

    std::vector<daemon::Message>& messages() { return inbox_.messages; }
    // HOST:PORT, for what is said of the broker.
    std::string broker() const;

  private:
    struct MosquittoFree {
        void operator()(mosquitto* client) const;
    };
    // One round of the connection; false once it has ended.
    bool serveFor(int milliseconds);

    const daemon::Settings& settings_;
    Clock::time_point deadline_;
    Inbox inbox_;
    std::unique_ptr<mosquitto, MosquittoFree> client_;
};

}  // namespace zorvex::ctl

#endif
