#include "pipe_server.h"

#include <algorithm>

#include "hid_report.h"
#include "standin_state.h"

namespace zorvex::winefake {

namespace {

struct Connection {
    std::size_t device;
    HANDLE pipe;
};

HANDLE createInstance(std::size_t device) {
    const HANDLE pipe = CreateNamedPipeA(devicePipeName(device).c_str(), PIPE_ACCESS_DUPLEX,
                                         PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT,
                                         PIPE_UNLIMITED_INSTANCES, 4096, 4096, 0, nullptr);
    if (pipe != INVALID_HANDLE_VALUE) {
        const std::lock_guard<std::mutex> lock(state().mutex);
        state().serverEnds.push_back(pipe);
    }
    return pipe;
}

void closeInstance(HANDLE pipe) {
    {
        const std::lock_guard<std::mutex> lock(state().mutex);
        auto& ends = state().serverEnds;
        ends.erase(std::remove(ends.begin(), ends.end(), pipe), ends.end());
    }
    CloseHandle(pipe);
}

// One report from the caller: the emulated chip takes it and maybe answers.
void exchange(HANDLE pipe, std::size_t device, const HidReport& report) {
    std::optional<HidReport> reply;
    {
        const std::lock_guard<std::mutex> lock(state().mutex);
        reply = deliverReport(device, report);
    }
    if (reply) {
        DWORD written = 0;
        WriteFile(pipe, reply->data(), static_cast<DWORD>(reply->size()), &written, nullptr);
    }
}

// Waits for the client of one instance, then answers its reports until it
// closes its handle.
DWORD WINAPI serveConnection(LPVOID parameter) {
    const Connection connection = *static_cast<Connection*>(parameter);
    delete static_cast<Connection*>(parameter);
    if (!ConnectNamedPipe(connection.pipe, nullptr) && GetLastError() != ERROR_PIPE_CONNECTED) {
        closeInstance(connection.pipe);
        return 1;
    }
    {
        const std::lock_guard<std::mutex> lock(state().mutex);
        ++state().connections;
    }
    unsigned char message[4096];
    for (;;) {
        DWORD length = 0;
        if (!ReadFile(connection.pipe, message, sizeof message, &length, nullptr)) {
            if (GetLastError() == ERROR_MORE_DATA) {
                violation("a report longer than 4096 bytes", ERROR_INVALID_PARAMETER);
                continue;
            }
            break;  // the caller closed its handle
        }
        if (length != kHidReportSize) {
            // A HID device takes a report whole, in one write of its length.
            violation("a write of " + std::to_string(length) + " bytes, not 65",
                      ERROR_INVALID_PARAMETER);
            continue;
        }
        HidReport report;
        std::copy_n(message, kHidReportSize, report.begin());
        exchange(connection.pipe, connection.device, report);
    }
    DisconnectNamedPipe(connection.pipe);
    closeInstance(connection.pipe);
    return 0;
}

}  // namespace

HANDLE offerInstance(std::size_t index) {
    {
        const std::lock_guard<std::mutex> lock(state().mutex);
        const sim::Scenario* scenario = currentScenario();
        if (!scenario || index >= scenario->devices.chips.size() ||
            !scenario->devices.chips[index].openable) {
            return nullptr;
        }
    }
    const HANDLE pipe = createInstance(index);
    if (pipe == INVALID_HANDLE_VALUE) {
        return nullptr;
    }
    const HANDLE thread =
        CreateThread(nullptr, 0, serveConnection, new Connection{index, pipe}, 0, nullptr);
    if (thread == nullptr) {
        closeInstance(pipe);
    }
    return thread;
}

}  // namespace zorvex::winefake
