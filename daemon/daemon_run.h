// zorvexd's one loop: the MQTT connection with a bounded wait, then a poll
// of the units when its interval is due; a set message is handled as it
// comes. Runs until SIGTERM or SIGINT.
#ifndef ZORVEX_DAEMON_RUN_H
#define ZORVEX_DAEMON_RUN_H

#include "daemon_options.h"

namespace zorvex::daemon {

// The exit code: 0 after a clean stop, 2 for settings the broker library
// refuses (a certificate file that cannot be read, ...).
int runDaemon(const Options& options);

}  // namespace zorvex::daemon

#endif
