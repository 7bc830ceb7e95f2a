// zorvexd's topics: "<base>/<node>/status" for the daemon, and
// "<base>/<node>/<unit>/<leaf>" for each unit (state, available, set).
#ifndef ZORVEX_DAEMON_TOPICS_H
#define ZORVEX_DAEMON_TOPICS_H

#include <string>

#include "settings.h"

namespace zorvex::daemon {

// Everything zorvexd publishes goes at least once, and the subscription too.
constexpr int kQos = 1;

inline std::string nodeTopic(const Settings& settings) {
    return settings.baseTopic + "/" + settings.nodeId;
}

inline std::string statusTopic(const Settings& settings) {
    return nodeTopic(settings) + "/status";
}

inline std::string unitTopic(const Settings& settings, const std::string& unitId,
                             const char* leaf) {
    return nodeTopic(settings) + "/" + unitId + "/" + leaf;
}

}  // namespace zorvex::daemon

#endif
