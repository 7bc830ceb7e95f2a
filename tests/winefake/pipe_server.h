// Serves each device's pipe: the MCP2221A emulator answers the reports the
// caller writes to it, as a chip answers on its HID interface.
#ifndef ZORVEX_WINEFAKE_PIPE_SERVER_H
#define ZORVEX_WINEFAKE_PIPE_SERVER_H

#include <cstddef>

namespace zorvex::winefake {

// Makes an instance of device `index`'s pipe, for the open about to come, and
// serves the connection it gets, unless the device is absent or refuses to
// be opened (then the open fails: there is no such pipe).
void offerInstance(std::size_t index);

}  // namespace zorvex::winefake

#endif
