#include "standin_state.h"

#include <cstdio>
#include <cwchar>

#include "import_hooks.h"
#include "scenario/scenario_lock.h"

namespace zorvex::winefake {

namespace {

// A device's pipe as opened, and as a handle's file name gives it back.
constexpr const char* kInterfacePathPrefix = "\\\\?\\hid#zorvexchip#";
constexpr const char* kInterfacePathSuffix = "#{4d1e55b2-f16f-11cf-88cb-001111000030}";
constexpr const char* kPipePathPrefix = "\\\\.\\pipe\\zorvex-chip-";
constexpr const wchar_t* kPipeNamePrefix = L"\\zorvex-chip-";

// At process end, a pipe instance that can still be peeked at has a client
// end open: a device handle the caller never closed. (One still listening,
// or whose client has gone, cannot be.)
int handlesLeftOpen(const StandinState& s) {
    int open = 0;
    for (const ServerEnd& server : s.serverEnds) {
        DWORD available = 0;
        if (PeekNamedPipe(server.end, nullptr, 0, nullptr, &available, nullptr)) {
            ++open;
        }
    }
    return open;
}

sim::CachedScenario& cache() {
    static auto* const cached = new sim::CachedScenario;
    return *cached;
}

void writeFindings() {
    const StandinState& s = state();
    const std::string path = sim::scenarioPath();
    const sim::ScenarioLock lock(path);
    auto scenario = lock.held() ? sim::loadScenario(path) : std::nullopt;
    if (!scenario) {
        return;
    }
    scenario->document["winefake"] = {
        {"enumerations", s.enumerations},     {"setsLeftOpen", s.enumerations - s.setsDestroyed},
        {"connections", s.connections},       {"handlesLeftOpen", handlesLeftOpen(s)},
        {"eventsLeftOpen", eventsLeftOpen()}, {"violations", s.violations},
    };
    sim::saveScenario(path, *scenario);
}

}  // namespace

StandinState& state() {
    static StandinState* const instance = new StandinState;
    return *instance;
}

void violation(const std::string& what, DWORD error) {
    {
        const std::lock_guard<std::mutex> lock(state().mutex);
        state().violations.push_back(what);
    }
    SetLastError(error);
}

const sim::Scenario* currentScenario() {
    if (cache().path.empty()) {
        refreshScenario();
    }
    return cache().scenario ? &*cache().scenario : nullptr;
}

void refreshScenario() {
    sim::refresh(cache(), sim::scenarioPath());
}

std::optional<HidReport> deliverReport(std::size_t index, const HidReport& report) {
    return sim::deliverReport(sim::scenarioPath(), index, report, &cache()).reply;
}

std::string deviceInterfacePath(std::size_t index) {
    char number[24];
    std::snprintf(number, sizeof number, "%04zu", index);
    return kInterfacePathPrefix + std::string(number) + kInterfacePathSuffix;
}

std::string devicePipeName(std::size_t index) {
    return kPipePathPrefix + std::to_string(index);
}

namespace {

// The index that follows `prefix` in `name`, which must hold nothing else.
template <typename Char>
std::optional<std::size_t> indexAfter(const std::basic_string<Char>& name,
                                      const std::basic_string<Char>& prefix) {
    if (name.compare(0, prefix.size(), prefix) != 0 || name.size() == prefix.size() ||
        name.size() > prefix.size() + 6) {
        return std::nullopt;
    }
    std::size_t index = 0;
    for (std::size_t i = prefix.size(); i < name.size(); ++i) {
        if (name[i] < '0' || name[i] > '9') {
            return std::nullopt;
        }
        index = index * 10 + static_cast<std::size_t>(name[i] - '0');
    }
    return index;
}

}  // namespace

std::optional<std::size_t> deviceOfInterfacePath(const std::string& path) {
    const std::string suffix = kInterfacePathSuffix;
    if (path.size() < suffix.size() ||
        _stricmp(path.c_str() + path.size() - suffix.size(), suffix.c_str()) != 0) {
        return std::nullopt;
    }
    return indexAfter(path.substr(0, path.size() - suffix.size()),
                      std::string(kInterfacePathPrefix));
}

std::optional<std::size_t> deviceOfHandle(HANDLE handle) {
    alignas(FILE_NAME_INFO) unsigned char buffer[sizeof(FILE_NAME_INFO) + 256 * sizeof(WCHAR)];
    if (!GetFileInformationByHandleEx(handle, FileNameInfo, buffer, sizeof buffer)) {
        return std::nullopt;
    }
    // A pipe's name comes back without the \\.\pipe part.
    const auto* info = reinterpret_cast<const FILE_NAME_INFO*>(buffer);
    return indexAfter(std::wstring(info->FileName, info->FileNameLength / sizeof(WCHAR)),
                      std::wstring(kPipeNamePrefix));
}

void pinInProcess() {
    HMODULE self = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                       reinterpret_cast<LPCWSTR>(&pinInProcess), &self);
}

}  // namespace zorvex::winefake

// Runs at process end (the module is pinned): the caller's handles are not
// yet closed by the system.
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_DETACH) {
        zorvex::winefake::writeFindings();
    }
    return TRUE;
}
