// zorvexd --help.
#include "settings.h"

namespace zorvex::daemon {

const char* const kUsage =
    "usage: zorvexd [options]\n"
    "Puts this machine's DELOQ-72N units on an MQTT broker.\n"
    "  --config FILE            settings file (default /etc/zorvex/zorvexd.conf)\n"
    "  --broker HOST[:PORT]     the broker (default localhost:1883)\n"
    "  --client-id ID           MQTT client id (default zorvexd-<node id>)\n"
    "  --username NAME          user name at the broker\n"
    "  --password-file FILE     file whose first line is the password\n"
    "  --cafile FILE            connect with TLS, the broker's certificate checked\n"
    "                           against this CA, its host name verified\n"
    "  --cert FILE, --key FILE  a client certificate and its key, for TLS\n"
    "  --base-topic T           first topic level (default zorvex)\n"
    "  --node-id ID             this machine's topic level (default: the host name)\n"
    "  --poll-interval SECONDS  how often the units are read (default 2)\n"
    "  --cycle-off-time SECONDS how long a cycle holds a unit off when its\n"
    "                           request names no time (default 5, at most 3600)\n"
    "  --discovery-prefix P     Home Assistant discovery prefix (default homeassistant)\n"
    "  --no-discovery           publish no Home Assistant discovery\n"
    "  --list                   print the units seen, with ids and states, and exit\n"
    "  --help, --version\n";

}  // namespace zorvex::daemon
