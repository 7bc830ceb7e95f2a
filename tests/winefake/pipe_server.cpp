#include "pipe_server.h"

#include <algorithm>

#include "hid_report.h"
#include "standin_state.h"

namespace zorvex::winefake {

HANDLE offerInstance(std::size_t index) {
    {
        const std::lock_guard<std::mutex> lock(state().mutex);
        const sim::Scenario* scenario = currentScenario();
        if (!scenario || index >= scenario->devices.chips.size() ||
            !scenario->devices.chips[index].openable) {
            return INVALID_HANDLE_VALUE;
        }
    }
    const HANDLE pipe = CreateNamedPipeA(devicePipeName(index).c_str(), PIPE_ACCESS_DUPLEX,
                                         PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT,
                                         PIPE_UNLIMITED_INSTANCES, 4096, 4096, 0, nullptr);
    if (pipe != INVALID_HANDLE_VALUE) {
        const std::lock_guard<std::mutex> lock(state().mutex);
        state().serverEnds.push_back(pipe);
    }
    return pipe;
}

void acceptConnection(HANDLE server) {
    // The client is connected already; this only confirms it.
    ConnectNamedPipe(server, nullptr);
    const std::lock_guard<std::mutex> lock(state().mutex);
    ++state().connections;
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
    std::optional<HidReport> reply;
    {
        const std::lock_guard<std::mutex> lock(state().mutex);
        reply = deliverReport(device, report);
    }
    if (reply) {
        DWORD written = 0;
        WriteFile(server, reply->data(), static_cast<DWORD>(reply->size()), &written, nullptr);
    }
}

void closeInstance(HANDLE server) {
    {
        const std::lock_guard<std::mutex> lock(state().mutex);
        auto& ends = state().serverEnds;
        ends.erase(std::remove(ends.begin(), ends.end(), server), ends.end());
    }
    DisconnectNamedPipe(server);
    CloseHandle(server);
}

}  // namespace zorvex::winefake
