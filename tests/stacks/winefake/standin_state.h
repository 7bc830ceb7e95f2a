// Shared state of the Wine stand-ins for setupapi.dll and hid.dll: the
// scenario file's devices, what the stand-ins counted, and what they found
// the caller doing that Windows would refuse. It lives in the setupapi
// stand-in, which stays loaded until the process ends and then writes its
// findings into the scenario file under "winefake".
#ifndef ZORVEX_WINEFAKE_STANDIN_STATE_H
#define ZORVEX_WINEFAKE_STANDIN_STATE_H

#include <windows.h>

#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "hid_report.h"
#include "scenario/scenario_delivery.h"
#include "scenario/scenario_store.h"

namespace zorvex::winefake {

// One pipe instance the stand-ins serve: a handle on device `device`.
struct ServerEnd {
    HANDLE end;
    std::size_t device;
    bool connected;
};

struct StandinState {
    std::mutex mutex;
    int enumerations = 0;               // SetupDiGetClassDevsA calls
    int setsDestroyed = 0;              // SetupDiDestroyDeviceInfoList calls that freed a set
    int connections = 0;                // device opens (pipe connections)
    std::vector<ServerEnd> serverEnds;  // pipe instances, offered or connected
    std::vector<std::string> violations;
};

// The one state of this process (never destroyed: it is used at exit).
StandinState& state();

// Records a call Windows would have refused, and sets the error it would give.
void violation(const std::string& what, DWORD error);

// The scenario as this process last read it (read again at each enumeration
// when the file has changed); nullptr when there is none. Call holding
// state().mutex.
const sim::Scenario* currentScenario();
// Reads the file again if it changed since; at each enumeration.
void refreshScenario();

// Delivers `report` to device `index` in the file as it is now, under the
// file's lock, and writes back what it changed; the chip's reply, if it gave
// one and the file could be written. Call holding state().mutex.
std::optional<HidReport> deliverReport(std::size_t index, const HidReport& report);

// Device `index`'s HID interface path, shaped as Wine's own HID class names
// the same chip (tests/winehid): what the library lists and opens.
std::string deviceInterfacePath(std::size_t index);

// The device whose interface path `path` is; nullopt for any other path.
std::optional<std::size_t> deviceOfInterfacePath(const std::string& path);

// The pipe that stands in for device `index`'s HID interface.
std::string devicePipeName(std::size_t index);

// The device behind an open pipe handle; nullopt for any other handle.
std::optional<std::size_t> deviceOfHandle(HANDLE handle);

// Keeps the stand-in loaded until the process ends, so that its findings
// get written.
void pinInProcess();

}  // namespace zorvex::winefake

#endif
