// zorvexd's log: one line per event on standard error, which journald keeps
// under systemd.
#ifndef ZORVEX_DAEMON_LOG_H
#define ZORVEX_DAEMON_LOG_H

namespace zorvex::daemon {

void logLine(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace zorvex::daemon

#endif
