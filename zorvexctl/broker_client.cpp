#include "broker_client.h"

#include <mosquitto.h>
#include <mqtt_protocol.h>

#include <cerrno>
#include <cstring>

#include "topics.h"

namespace zorvex::ctl {

namespace {

Inbox& inboxOf(void* data) {
    return *static_cast<Inbox*>(data);
}

}  // namespace

extern "C" {
static void onConnect(mosquitto*, void* data, int result, int, const mosquitto_property*) {
    inboxOf(data).connected = result == 0;
    inboxOf(data).refusal = result;
}
static void onDisconnect(mosquitto*, void* data, int, const mosquitto_property*) {
    inboxOf(data).closed = true;
}
static void onSubscribe(mosquitto*, void* data, int, int, const int*, const mosquitto_property*) {
    ++inboxOf(data).subscriptions;
}
static void onMessage(mosquitto*, void* data, const mosquitto_message* message,
                      const mosquitto_property* properties) {
    inboxOf(data).messages.push_back(daemon::messageOf(*message, properties));
}
}

void BrokerClient::MosquittoFree::operator()(mosquitto* client) const {
    mosquitto_destroy(client);
}

BrokerClient::BrokerClient(const daemon::Settings& settings, Clock::time_point deadline)
    : settings_(settings), deadline_(deadline) {
    mosquitto_lib_init();
}

BrokerClient::~BrokerClient() {
    if (client_ && inbox_.connected) {
        mosquitto_disconnect(client_.get());
    }
    client_.reset();
    mosquitto_lib_cleanup();
}

std::string BrokerClient::broker() const {
    return settings_.host + ":" + std::to_string(settings_.port);
}

std::string BrokerClient::connect() {
    client_.reset(mosquitto_new(settings_.clientId.c_str(), true, &inbox_));
    if (!client_) {
        return "cannot make an MQTT client";
    }
    mosquitto_int_option(client_.get(), MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V5);
    mosquitto_int_option(client_.get(), MOSQ_OPT_TCP_NODELAY, 1);
    mosquitto_connect_v5_callback_set(client_.get(), onConnect);
    mosquitto_disconnect_v5_callback_set(client_.get(), onDisconnect);
    mosquitto_subscribe_v5_callback_set(client_.get(), onSubscribe);
    mosquitto_message_v5_callback_set(client_.get(), onMessage);
    if (!daemon::setCredentials(client_.get(), settings_)) {
        return "the broker's credentials or TLS files cannot be used";
    }
    const int result = mosquitto_connect(client_.get(), settings_.host.c_str(), settings_.port, 10);
    if (result != MOSQ_ERR_SUCCESS) {
        return "cannot reach the broker " + broker() + ": " +
               (result == MOSQ_ERR_ERRNO ? std::string(std::strerror(errno))
                                         : mosquitto_strerror(result));
    }
    if (!serveUntil([&] { return inbox_.connected || inbox_.refusal != 0; })) {
        return "the broker " + broker() + " did not answer";
    }
    return inbox_.connected
               ? std::string()
               : "the broker " + broker() +
                     " refused the connection: " + mosquitto_reason_string(inbox_.refusal);
}

bool BrokerClient::subscribe(const std::vector<std::string>& topics) {
    for (const std::string& topic : topics) {
        mosquitto_subscribe_v5(client_.get(), nullptr, topic.c_str(), daemon::kQos, 0, nullptr);
    }
    const int wanted = static_cast<int>(topics.size());
    return serveUntil([&] { return inbox_.subscriptions >= wanted; });
}

void BrokerClient::request(const std::string& topic, const std::string& payload,
                           const std::string& answerTopic, const std::string& correlation) {
    mosquitto_property* properties = nullptr;
    mosquitto_property_add_string(&properties, MQTT_PROP_RESPONSE_TOPIC, answerTopic.c_str());
    mosquitto_property_add_binary(&properties, MQTT_PROP_CORRELATION_DATA, correlation.data(),
                                  static_cast<std::uint16_t>(correlation.size()));
    mosquitto_publish_v5(client_.get(), nullptr, topic.c_str(), static_cast<int>(payload.size()),
                         payload.data(), daemon::kQos, false, properties);
    mosquitto_property_free_all(&properties);
}

bool BrokerClient::serveFor(int milliseconds) {
    return !inbox_.closed && mosquitto_loop(client_.get(), milliseconds, 1) == MOSQ_ERR_SUCCESS;
}

}  // namespace zorvex::ctl
