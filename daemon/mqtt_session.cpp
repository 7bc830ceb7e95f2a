#include "mqtt_session.h"

#include <mosquitto.h>
#include <mqtt_protocol.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <fstream>

#include "log.h"
#include "topics.h"

namespace zorvex::daemon {

namespace {

using Seconds = std::chrono::duration<double>;

constexpr int kKeepAliveSeconds = 30;
constexpr double kFirstRetry = 1.0;
constexpr double kLastRetry = 30.0;
constexpr double kConnectAnswerSeconds = 10.0;

MqttSession& sessionOf(void* data) {
    return *static_cast<MqttSession*>(data);
}

}  // namespace

void MosquittoFree::operator()(mosquitto* client) const {
    mosquitto_destroy(client);
}

MqttSession::MqttSession(const Settings& settings) : settings_(settings), retry_(kFirstRetry) {}

// The callbacks run inside mosquitto_loop, and only take note.
extern "C" {
static void onConnect(mosquitto*, void* data, int result) {
    MqttSession& session = sessionOf(data);
    if (result == 0) {
        session.news.accepted = true;
    } else {
        session.news.refusal = result;
    }
}

static void onDisconnect(mosquitto*, void* data, int result) {
    MqttSession& session = sessionOf(data);
    session.news.closed = true;
    session.news.dropped = result != 0;
}

static void onMessage(mosquitto*, void* data, const mosquitto_message* message,
                      const mosquitto_property* properties) {
    sessionOf(data).messages.push_back(messageOf(*message, properties));
}
}

Message messageOf(const mosquitto_message& message, const mosquitto_property* properties) {
    Message copy;
    copy.topic = message.topic != nullptr ? message.topic : "";
    if (message.payload != nullptr && message.payloadlen > 0) {
        copy.payload.assign(static_cast<const char*>(message.payload),
                            static_cast<std::size_t>(message.payloadlen));
    }
    copy.retained = message.retain;
    char* responseTopic = nullptr;
    if (mosquitto_property_read_string(properties, MQTT_PROP_RESPONSE_TOPIC, &responseTopic,
                                       false) != nullptr &&
        responseTopic != nullptr) {
        copy.hasResponseTopic = true;
        copy.responseTopic = responseTopic;
        std::free(responseTopic);
    }
    void* correlation = nullptr;
    std::uint16_t length = 0;
    if (mosquitto_property_read_binary(properties, MQTT_PROP_CORRELATION_DATA, &correlation,
                                       &length, false) != nullptr &&
        correlation != nullptr) {
        copy.correlation.assign(static_cast<const char*>(correlation), length);
        std::free(correlation);
    }
    return copy;
}

bool setCredentials(mosquitto* client, const Settings& settings) {
    if (!settings.username.empty() || !settings.passwordFile.empty()) {
        std::string password;
        if (!settings.passwordFile.empty()) {
            std::ifstream file(settings.passwordFile);
            if (!file || !std::getline(file, password)) {
                logLine("%s: cannot be read", settings.passwordFile.c_str());
                return false;
            }
        }
        mosquitto_username_pw_set(client, settings.username.c_str(),
                                  settings.passwordFile.empty() ? nullptr : password.c_str());
    }
    if (!settings.caFile.empty()) {
        const int result = mosquitto_tls_set(
            client, settings.caFile.c_str(), nullptr,
            settings.certFile.empty() ? nullptr : settings.certFile.c_str(),
            settings.keyFile.empty() ? nullptr : settings.keyFile.c_str(), nullptr);
        if (result != MOSQ_ERR_SUCCESS) {
            logLine("TLS: %s", mosquitto_strerror(result));
            return false;
        }
        mosquitto_tls_insecure_set(client, false);
    }
    return true;
}

bool MqttSession::setUp() {
    client_.reset(mosquitto_new(settings_.clientId.c_str(), true, this));
    if (!client_) {
        logLine("cannot make an MQTT client");
        return false;
    }
    // MQTT 5, for "retain as published": a set message published retained
    // reaches the daemon marked so even while it is subscribed, and is refused.
    mosquitto_int_option(client_.get(), MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V5);
    // Each state goes out at once, not when Nagle's algorithm lets it.
    mosquitto_int_option(client_.get(), MOSQ_OPT_TCP_NODELAY, 1);
    mosquitto_connect_callback_set(client_.get(), onConnect);
    mosquitto_disconnect_callback_set(client_.get(), onDisconnect);
    mosquitto_message_v5_callback_set(client_.get(), onMessage);
    const std::string status = statusTopic(settings_);
    mosquitto_will_set(client_.get(), status.c_str(), 7, "offline", kQos, true);
    return setCredentials(client_.get(), settings_);
}

void MqttSession::retryLater() {
    if (link_ != Link::unasked) {
        link_ = Link::down;
    }
    nextAttempt_ = Clock::now() + std::chrono::duration_cast<Clock::duration>(Seconds(retry_));
    retry_ = std::min(retry_ * 2, kLastRetry);
}

void MqttSession::connectIfDue() {
    if (link_ == Link::connecting &&
        Seconds(Clock::now() - connectStarted_).count() > kConnectAnswerSeconds) {
        logLine("broker %s:%d did not answer the connection", settings_.host.c_str(),
                settings_.port);
        mosquitto_disconnect(client_.get());
        retryLater();
    }
    if (link_ == Link::up || link_ == Link::connecting || Clock::now() < nextAttempt_) {
        return;
    }
    const int result = link_ == Link::down
                           ? mosquitto_reconnect(client_.get())
                           : mosquitto_connect(client_.get(), settings_.host.c_str(),
                                               settings_.port, kKeepAliveSeconds);
    if (result == MOSQ_ERR_SUCCESS) {
        link_ = Link::connecting;
        connectStarted_ = Clock::now();
        return;
    }
    if (!unreachableLogged_) {
        logLine("broker %s:%d unreachable (%s); trying again, at most every %.0f s",
                settings_.host.c_str(), settings_.port, mosquitto_strerror(result), kLastRetry);
        unreachableLogged_ = true;
    }
    retryLater();
}

// What the callbacks saw, acted on: the link's new state, the log, and
// when to try again. True when the broker has just accepted the connection.
bool MqttSession::takeNews() {
    const bool accepted = news.accepted;
    if (accepted) {
        link_ = Link::up;
        logLine("connected to %s:%d as %s", settings_.host.c_str(), settings_.port,
                settings_.clientId.c_str());
        unreachableLogged_ = false;
        retry_ = kFirstRetry;
    }
    if (news.refusal != 0) {
        logLine("broker refused the connection: %s", mosquitto_connack_string(news.refusal));
        retryLater();
    } else if (news.closed) {
        const bool wasUp = link_ == Link::up;
        if (wasUp) {
            link_ = Link::down;
        }
        if (news.dropped) {
            if (wasUp) {
                logLine("connection to the broker lost; reconnecting");
            }
            retryLater();
        }
    }
    news = LinkNews{};
    return accepted;
}

bool MqttSession::serve(int waitMs) {
    const bool linked = link_ == Link::up || link_ == Link::connecting;
    const int result = linked ? mosquitto_loop(client_.get(), waitMs, 1) : MOSQ_ERR_NO_CONN;
    if (result != MOSQ_ERR_SUCCESS) {
        if (link_ == Link::up) {
            news.closed = true;
            news.dropped = true;
        }
        // Without a connection the loop returns at once: sleep instead of
        // spinning until the next attempt.
        struct timespec pause {
            waitMs / 1000, (waitMs % 1000) * 1000000L
        };
        nanosleep(&pause, nullptr);
    }
    return takeNews();
}

void MqttSession::serveNow() {
    // Only a connection that is up is served here, and the broker accepts
    // no connection that is up: nothing is "just accepted" to report.
    if (link_ == Link::up) {
        mosquitto_loop(client_.get(), 0, 1);
        takeNews();
    }
}

void MqttSession::publish(const std::string& topic, const std::string& payload, bool retain) {
    if (link_ == Link::up) {
        mosquitto_publish(client_.get(), nullptr, topic.c_str(), static_cast<int>(payload.size()),
                          payload.data(), kQos, retain);
    }
}

void MqttSession::answer(const std::string& topic, const std::string& payload,
                         const std::string& correlation) {
    if (link_ != Link::up) {
        return;
    }
    mosquitto_property* properties = nullptr;
    if (!correlation.empty()) {
        mosquitto_property_add_binary(&properties, MQTT_PROP_CORRELATION_DATA, correlation.data(),
                                      static_cast<std::uint16_t>(correlation.size()));
    }
    mosquitto_publish_v5(client_.get(), nullptr, topic.c_str(), static_cast<int>(payload.size()),
                         payload.data(), kQos, false, properties);
    mosquitto_property_free_all(&properties);
}

void MqttSession::subscribe(const std::string& topic) {
    mosquitto_subscribe_v5(client_.get(), nullptr, topic.c_str(), kQos,
                           MQTT_SUB_OPT_RETAIN_AS_PUBLISHED, nullptr);
}

void MqttSession::close(const std::string& status) {
    if (link_ == Link::up) {
        publish(status, "offline");
        mosquitto_disconnect(client_.get());
        mosquitto_loop(client_.get(), 100, 1);
    }
}

}  // namespace zorvex::daemon
