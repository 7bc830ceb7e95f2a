// Serves each device's pipe: the MCP2221A emulator answers the reports the
// caller writes to it, as a chip answers on its HID interface. It all
// happens inside the caller's own calls (its open, write and close of the
// device), so no thread of the stand-ins is ever left running, or cut off at
// process exit in the middle of writing the scenario file.
#ifndef ZORVEX_WINEFAKE_PIPE_SERVER_H
#define ZORVEX_WINEFAKE_PIPE_SERVER_H

#include <windows.h>

#include <cstddef>

namespace zorvex::winefake {

// Makes an instance of device `index`'s pipe for the open about to come;
// INVALID_HANDLE_VALUE when the device is absent or refuses to be opened:
// the open then fails, as there is no such pipe.
HANDLE offerInstance(std::size_t index);

// The caller's open of the instance succeeded: the server end takes it.
void acceptConnection(HANDLE server);

// The caller wrote to its end: the chip takes the report and, if it
// answers, its reply waits for the caller's read.
void answerReport(HANDLE server, std::size_t device);

// The caller closed its end, or its open failed: the instance goes.
void closeInstance(HANDLE server);

}  // namespace zorvex::winefake

#endif
