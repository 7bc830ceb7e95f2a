#include "pipe_server.h"

#include <algorithm>
#include <vector>

#include "hid_report.h"
#include "standin_state.h"

namespace zorvex::winefake {

HANDLE offerInstance(std::size_t index) {
    {
        const std::lock_guard<std::mutex> lock(state().mutex);
        const sim::Scenario* scenario = currentScenario();
        if (!scenario || index >= scenario->devices.chips.size() ||
            !scenario->devices.chips[index].present || !scenario->devices.chips[index].openable) {
            return INVALID_HANDLE_VALUE;
        }
    }
    const HANDLE pipe = CreateNamedPipeA(devicePipeName(index).c_str(), PIPE_ACCESS_DUPLEX,
                                         PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT,
                                         PIPE_UNLIMITED_INSTANCES, 4096, 4096, 0, nullptr);
    if (pipe != INVALID_HANDLE_VALUE) {
        const std::lock_guard<std::mutex> lock(state().mutex);
        state().serverEnds.push_back(ServerEnd{pipe, index, false});
    }
    return pipe;
}

void acceptConnection(HANDLE server) {
    // The client is connected already; this only confirms it.
    ConnectNamedPipe(server, nullptr);
    const std::lock_guard<std::mutex> lock(state().mutex);
    ++state().connections;
    for (ServerEnd& end : state().serverEnds) {
        end.connected = end.connected || end.end == server;
    }
}

void answerReport(HANDLE server, std::size_t device) {
    DWORD waiting = 0;
    if (!PeekNamedPipe(server, nullptr, 0, nullptr, &waiting, nullptr) || waiting == 0) {
        return;
    }
    unsigned char message[4096];
    DWORD length = 0;
    if (!ReadFile(server, message, sizeof message, &length, nullptr)) {
        if (GetLastError() == ERROR_MORE_DATA) {
            violation("a report longer than 4096 bytes", ERROR_INVALID_PARAMETER);
            while (!ReadFile(server, message, sizeof message, &length, nullptr) &&
                   GetLastError() == ERROR_MORE_DATA) {
            }
        }
        return;
    }
    if (length != kHidReportSize) {
        // A HID device takes a report whole, in one write of its length.
        violation("a write of " + std::to_string(length) + " bytes, not 65",
                  ERROR_INVALID_PARAMETER);
        return;
    }
    HidReport report;
    std::copy_n(message, kHidReportSize, report.begin());
    // Like the HID class, every handle open on the device gets the reply,
    // not only the one that wrote. (Only this process's handles: another
    // process has stand-ins and pipes of its own, and only a real stack
    // shows one program the replies another program's reports caused.)
    std::vector<HANDLE> open;
    std::optional<HidReport> reply;
    {
        const std::lock_guard<std::mutex> lock(state().mutex);
        reply = deliverReport(device, report);
        for (const ServerEnd& end : state().serverEnds) {
            if (end.connected && end.device == device) {
                open.push_back(end.end);
            }
        }
    }
    for (const HANDLE end : reply ? open : std::vector<HANDLE>{}) {
        DWORD written = 0;
        WriteFile(end, reply->data(), static_cast<DWORD>(reply->size()), &written, nullptr);
    }
}

void closeInstance(HANDLE server) {
    {
        const std::lock_guard<std::mutex> lock(state().mutex);
        auto& ends = state().serverEnds;
        ends.erase(std::remove_if(ends.begin(), ends.end(),
                                  [server](const ServerEnd& end) { return end.end == server; }),
                   ends.end());
    }
    DisconnectNamedPipe(server);
    CloseHandle(server);
}

}  // namespace zorvex::winefake
