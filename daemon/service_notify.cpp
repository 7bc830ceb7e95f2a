#include "service_notify.h"

#if defined(ZORVEX_WITH_SYSTEMD)
#include <systemd/sd-daemon.h>
#endif

namespace zorvex::daemon {

void notifyReady() {
#if defined(ZORVEX_WITH_SYSTEMD)
    sd_notify(0, "READY=1");
#endif
}

void notifyStopping() {
#if defined(ZORVEX_WITH_SYSTEMD)
    sd_notify(0, "STOPPING=1");
#endif
}

}  // namespace zorvex::daemon
