// zorvexd's one loop: the MQTT connection with a bounded wait, then a poll
// of the units when its interval is due; a set message is handled as it
// comes, between the chips of a poll too. Runs until SIGTERM or SIGINT.
#ifndef ZORVEX_DAEMON_DAEMON_LOOP_H
#define ZORVEX_DAEMON_DAEMON_LOOP_H

#include "settings.h"

namespace zorvex::daemon {

// The exit code: 0 after a clean stop, 2 for settings the broker library
// refuses (a certificate file that cannot be read, ...).
int runDaemon(const Settings& settings);

}  // namespace zorvex::daemon

#endif
