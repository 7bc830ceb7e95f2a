// Telling systemd (Type=notify) that zorvexd has started and is stopping;
// nothing where it does not run under systemd, or was built without it.
#ifndef ZORVEX_DAEMON_SERVICE_NOTIFY_H
#define ZORVEX_DAEMON_SERVICE_NOTIFY_H

namespace zorvex::daemon {

void notifyReady();
void notifyStopping();

}  // namespace zorvex::daemon

#endif
