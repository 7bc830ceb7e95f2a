// Serves each device's pipe: the MCP2221A emulator answers the reports the
// caller writes to it, as a chip answers on its HID interface.
#ifndef ZORVEX_WINEFAKE_PIPE_SERVER_H
#define ZORVEX_WINEFAKE_PIPE_SERVER_H

#include <windows.h>

#include <cstddef>

namespace zorvex::winefake {

// Makes an instance of device `index`'s pipe, for the open about to come, and
// serves the connection it gets on a thread of its own, whose handle it
// returns; the thread ends once the client closes its end. Nothing (and
// nullptr) when the device is absent or refuses to be opened: the open then
// fails, as there is no such pipe.
HANDLE offerInstance(std::size_t index);

}  // namespace zorvex::winefake

#endif
