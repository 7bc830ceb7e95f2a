// zorvex_winehid: makes Wine's own device tree hold a scenario file's devices,
// each a root-enumerated device driven by zorvexchip.sys, so that Wine's
// setupapi, hid, hidclass and ntoskrnl stand between the hardware library
// and the emulated chips. A 64-bit program, as Wine's drivers are.
//   zorvex_winehid setup            copy the driver beside this program into
//                                   system32\drivers; unplug every chip
//   zorvex_winehid plug [FILE]      plug in FILE's devices (none without FILE);
//                                   devices already in with the same IDs stay
//   zorvex_winehid replug FILE N    unplug device N, power it up from its
//                                   flash, and plug it in again
//   zorvex_winehid unplug N         unplug device N
//   zorvex_winehid unplug N --after FILE COUNT
//                                   the same once device N of FILE has
//                                   received COUNT reports
// Each waits until the HID class shows the devices as they must be.
#include <windows.h>
// clang-format off
#include <setupapi.h>
// clang-format on

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "chip_registry.h"
#include "scenario/scenario_lock.h"
#include "scenario/scenario_store.h"

namespace {

using namespace zorvex;
using namespace zorvex::winehid;

// Wine's device host re-reads the root devices of a driver on this control.
constexpr DWORD kReenumerateRootDevices = 128;
constexpr auto kSettleTimeout = std::chrono::seconds(20);
constexpr GUID kHidInterface = {
    0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};

constexpr DWORD kMaxDeviceIdLength = 200;

// A SetupAPI record, zeroed, its size field set.
template <typename Record>
Record sized() {
    Record record{};
    record.cbSize = sizeof(Record);
    return record;
}

const wchar_t* const kDriverFiles[] = {L"zorvexchip.sys", L"zorvex_chip_model.dll"};

// A handle closed with `close` when it goes; a null or invalid handle is
// never closed.
template <typename Handle, BOOL(WINAPI* close)(Handle)>
class Owned {
  public:
    explicit Owned(Handle handle) : handle_(handle) {}
    ~Owned() {
        if (valid()) {
            close(handle_);
        }
    }
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;
    Handle get() const { return handle_; }
    bool valid() const {
        return handle_ != nullptr && reinterpret_cast<HANDLE>(handle_) != INVALID_HANDLE_VALUE;
    }

  private:
    Handle handle_;
};

using DeviceSet = Owned<HDEVINFO, SetupDiDestroyDeviceInfoList>;
using ServiceHandle = Owned<SC_HANDLE, CloseServiceHandle>;

int fail(const std::string& what) {
    std::fprintf(stderr, "zorvex_winehid: %s (error %lu)\n", what.c_str(), GetLastError());
    return 1;
}

std::wstring folderOfThisProgram() {
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, length);
    return folder.substr(0, folder.find_last_of(L'\\') + 1);
}

std::wstring upper(std::wstring text) {
    for (wchar_t& c : text) {
        c = static_cast<wchar_t>(std::towupper(c));
    }
    return text;
}

std::wstring widened(const std::string& utf8) {
    const int units = MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, nullptr, 0);
    std::wstring wide(units > 0 ? units - 1 : 0, L'\0');
    if (units > 1) {
        MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, wide.data(), units);
    }
    return wide;
}

// The instance IDs, in upper case, of the present devices a listing holds.
std::set<std::wstring> instancesIn(HDEVINFO set) {
    std::set<std::wstring> ids;
    SP_DEVINFO_DATA device = sized<SP_DEVINFO_DATA>();
    for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &device); ++i) {
        wchar_t id[kMaxDeviceIdLength];
        if (SetupDiGetDeviceInstanceIdW(set, &device, id, kMaxDeviceIdLength, nullptr)) {
            ids.insert(upper(id));
        }
    }
    return ids;
}

// The chips plugged in now, each with the IDs it was plugged in with.
std::map<unsigned long, DWORD> pluggedChips() {
    std::map<unsigned long, DWORD> chips;
    const DeviceSet set(SetupDiGetClassDevsW(nullptr, L"ROOT", nullptr, DIGCF_ALLCLASSES));
    if (!set.valid()) {
        return chips;
    }
    const std::wstring prefix = upper(kInstancePrefix);
    for (const std::wstring& id : instancesIn(set.get())) {
        if (id.compare(0, prefix.size(), prefix) != 0) {
            continue;
        }
        const unsigned long entry = std::wcstoul(id.c_str() + prefix.size(), nullptr, 10);
        DWORD ids = 0;
        DWORD size = sizeof ids;
        if (RegGetValueW(HKEY_LOCAL_MACHINE, parametersKey(entry).c_str(), kIdsValue,
                         RRF_RT_REG_DWORD, nullptr, &ids, &size) != ERROR_SUCCESS) {
            ids = ~0U;  // plugged in half-way: plug it in again
        }
        chips[entry] = ids;
    }
    return chips;
}

// The chips whose HID interfaces the HID class lists now, as the library
// lists them.
std::set<unsigned long> chipsWithInterfaces() {
    std::set<unsigned long> entries;
    const DeviceSet set(SetupDiGetClassDevsW(&kHidInterface, nullptr, nullptr,
                                             DIGCF_PRESENT | DIGCF_DEVICEINTERFACE));
    if (!set.valid()) {
        return entries;
    }
    const std::wstring prefix = L"HID\\ZORVEXCHIP\\";
    auto listed = sized<SP_DEVICE_INTERFACE_DATA>();
    for (DWORD i = 0; SetupDiEnumDeviceInterfaces(set.get(), nullptr, &kHidInterface, i, &listed);
         ++i) {
        SP_DEVINFO_DATA device = sized<SP_DEVINFO_DATA>();
        wchar_t id[kMaxDeviceIdLength];
        SetupDiGetDeviceInterfaceDetailW(set.get(), &listed, nullptr, 0, nullptr, &device);
        if (SetupDiGetDeviceInstanceIdW(set.get(), &device, id, kMaxDeviceIdLength, nullptr)) {
            const std::wstring instance = upper(id);
            if (instance.compare(0, prefix.size(), prefix) == 0) {
                entries.insert(std::wcstoul(instance.c_str() + prefix.size(), nullptr, 10));
            }
        }
    }
    return entries;
}

bool setParameter(unsigned long entry, const wchar_t* name, DWORD type, const void* data,
                  DWORD size) {
    return RegSetKeyValueW(HKEY_LOCAL_MACHINE, parametersKey(entry).c_str(), name, type, data,
                           size) == ERROR_SUCCESS;
}

bool pointAt(unsigned long entry, const std::wstring& scenario) {
    return setParameter(entry, kScenarioValue, REG_SZ, scenario.c_str(),
                        static_cast<DWORD>((scenario.size() + 1) * sizeof(wchar_t)));
}

DWORD idsOf(const sim::SimChip& chip) {
    return (DWORD{chip.vendorId} << 16) | chip.productId;
}

// Starts the driver if it is not running, and has it look for its devices.
void wakeDriver() {
    const ServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager.valid()) {
        return;
    }
    const ServiceHandle service(
        OpenServiceW(manager.get(), kServiceName, SERVICE_START | SERVICE_USER_DEFINED_CONTROL));
    if (!service.valid()) {
        return;
    }
    StartServiceW(service.get(), 0, nullptr);
    SERVICE_STATUS status;
    ControlService(service.get(), kReenumerateRootDevices, &status);
}

// Plugs in device `entry`: a root device whose parameters name its scenario
// entry, then the driver's installation, as Windows installs a new device.
bool plugIn(unsigned long entry, DWORD ids, const std::wstring& scenario) {
    const DeviceSet set(SetupDiCreateDeviceInfoList(nullptr, nullptr));
    SP_DEVINFO_DATA device = sized<SP_DEVINFO_DATA>();
    const GUID noClass{};
    const std::wstring hardwareIds = std::wstring(kHardwareId) + L'\0' + L'\0';
    if (!set.valid() ||
        !SetupDiCreateDeviceInfoW(set.get(), instanceId(entry).c_str(), &noClass, nullptr, nullptr,
                                  0, &device) ||
        !SetupDiSetDeviceRegistryPropertyW(
            set.get(), &device, SPDRP_HARDWAREID, reinterpret_cast<const BYTE*>(hardwareIds.data()),
            static_cast<DWORD>(hardwareIds.size() * sizeof(wchar_t))) ||
        !SetupDiCallClassInstaller(DIF_REGISTERDEVICE, set.get(), &device)) {
        return false;
    }
    const HKEY key = SetupDiCreateDevRegKeyW(set.get(), &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV,
                                             nullptr, nullptr);
    if (key == INVALID_HANDLE_VALUE) {
        return false;
    }
    RegCloseKey(key);
    const DWORD number = entry;
    if (!setParameter(entry, kEntryValue, REG_DWORD, &number, sizeof number) ||
        !pointAt(entry, scenario) || !setParameter(entry, kIdsValue, REG_DWORD, &ids, sizeof ids)) {
        return false;
    }
    auto params = sized<SP_DEVINSTALL_PARAMS_W>();
    if (!SetupDiGetDeviceInstallParamsW(set.get(), &device, &params)) {
        return false;
    }
    const std::wstring inf = folderOfThisProgram() + L"zorvexchip.inf";
    wcsncpy(params.DriverPath, inf.c_str(), MAX_PATH - 1);
    params.Flags |= DI_ENUMSINGLEINF;
    if (!SetupDiSetDeviceInstallParamsW(set.get(), &device, &params) ||
        !SetupDiBuildDriverInfoList(set.get(), &device, SPDIT_COMPATDRIVER)) {
        return false;
    }
    for (const DI_FUNCTION step :
         {DIF_SELECTBESTCOMPATDRV, DIF_ALLOW_INSTALL, DIF_INSTALLDEVICEFILES,
          DIF_REGISTER_COINSTALLERS, DIF_INSTALLINTERFACES, DIF_INSTALLDEVICE,
          DIF_NEWDEVICEWIZARD_FINISHINSTALL}) {
        if (!SetupDiCallClassInstaller(step, set.get(), &device) &&
            GetLastError() != ERROR_DI_DO_DEFAULT) {
            return false;
        }
    }
    return true;
}

bool unplug(unsigned long entry) {
    const DeviceSet set(SetupDiCreateDeviceInfoList(nullptr, nullptr));
    SP_DEVINFO_DATA device = sized<SP_DEVINFO_DATA>();
    if (!set.valid()) {
        return false;
    }
    if (!SetupDiOpenDeviceInfoW(set.get(), instanceId(entry).c_str(), nullptr, 0, &device)) {
        return GetLastError() == ERROR_NO_SUCH_DEVINST;
    }
    return SetupDiCallClassInstaller(DIF_REMOVE, set.get(), &device) != FALSE;
}

// Waits until the HID class shows exactly `expected` of the chips.
bool settle(const std::set<unsigned long>& expected) {
    const auto deadline = std::chrono::steady_clock::now() + kSettleTimeout;
    bool woken = false;
    for (int round = 0;; ++round) {
        if (chipsWithInterfaces() == expected) {
            return true;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        // A driver that is not running (a new Wine session) is started once.
        if (!woken && round == 10) {
            wakeDriver();
            woken = true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

// The scenario's devices, or none for a file that is not a valid scenario.
std::vector<sim::SimChip> devicesOf(const std::string& path) {
    if (path.empty()) {
        return {};
    }
    const auto scenario = sim::loadScenario(path);
    return scenario ? scenario->devices.chips : std::vector<sim::SimChip>{};
}

int plug(const std::string& path) {
    const std::vector<sim::SimChip> devices = devicesOf(path);
    for (std::size_t i = 0; i < devices.size(); ++i) {
        // hidclass opens the device and reads its IDs itself, from what it
        // read at the start: a minidriver cannot make either fail.
        if (devices[i].present && (!devices[i].openable || !devices[i].attributesReadable)) {
            std::fprintf(stderr,
                         "zorvex_winehid: device %zu: a HID minidriver cannot make a device "
                         "that cannot be opened or whose IDs cannot be read\n",
                         i);
            return 3;
        }
    }
    const std::wstring scenario = widened(path);
    std::map<unsigned long, DWORD> plugged = pluggedChips();
    std::set<unsigned long> expected;
    for (unsigned long entry = 0; entry < devices.size(); ++entry) {
        const auto found = plugged.find(entry);
        // An entry that is not plugged in keeps its number, and no device.
        if (!devices[entry].present) {
            if (found != plugged.end() && !unplug(entry)) {
                return fail("cannot unplug device " + std::to_string(entry));
            }
            continue;
        }
        expected.insert(entry);
        if (found != plugged.end() && found->second == idsOf(devices[entry])) {
            if (!pointAt(entry, scenario)) {
                return fail("cannot point device " + std::to_string(entry) + " at the scenario");
            }
            continue;
        }
        if (found != plugged.end() && !unplug(entry)) {
            return fail("cannot unplug device " + std::to_string(entry));
        }
        if (!plugIn(entry, idsOf(devices[entry]), scenario)) {
            return fail("cannot plug in device " + std::to_string(entry));
        }
    }
    for (const auto& [entry, ids] : plugged) {
        if (entry >= devices.size() && !unplug(entry)) {
            return fail("cannot unplug device " + std::to_string(entry));
        }
    }
    return settle(expected) ? 0 : fail("the HID class does not show the devices");
}

std::optional<unsigned long> deviceNumber(const char* text) {
    char* end = nullptr;
    const unsigned long number = std::strtoul(text, &end, 10);
    if (*text < '0' || *text > '9' || *end != '\0') {
        return std::nullopt;
    }
    return number;
}

int unplugOne(unsigned long entry) {
    if (!unplug(entry)) {
        return fail("cannot unplug device " + std::to_string(entry));
    }
    std::set<unsigned long> expected = chipsWithInterfaces();
    expected.erase(entry);
    return settle(expected) ? 0 : fail("device " + std::to_string(entry) + " stays");
}

// A replug is a power cycle: the chip comes back up from its flash.
int replug(const std::string& path, unsigned long entry) {
    std::set<unsigned long> shown = chipsWithInterfaces();
    if (const int unplugged = unplugOne(entry); unplugged != 0) {
        return unplugged;
    }
    DWORD ids = 0;
    {
        const sim::ScenarioLock lock(path);
        auto scenario = lock.held() ? sim::loadScenario(path) : std::nullopt;
        if (!scenario || entry >= scenario->devices.chips.size()) {
            std::fprintf(stderr, "zorvex_winehid: %s has no device %lu\n", path.c_str(), entry);
            return 1;
        }
        sim::replug(scenario->devices.chips[entry]);
        ids = idsOf(scenario->devices.chips[entry]);
        if (!sim::saveScenario(path, *scenario)) {
            return fail("cannot write " + path);
        }
    }
    if (!plugIn(entry, ids, widened(path))) {
        return fail("cannot plug in device " + std::to_string(entry));
    }
    shown.insert(entry);
    return settle(shown) ? 0 : fail("device " + std::to_string(entry) + " does not come back");
}

std::string contentsOf(const std::wstring& path) {
    std::string contents;
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return contents;
    }
    char buffer[65536];
    DWORD read = 0;
    while (ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0) {
        contents.append(buffer, read);
    }
    CloseHandle(file);
    return contents;
}

bool sameContents(const std::wstring& one, const std::wstring& other) {
    const std::string contents = contentsOf(one);
    return !contents.empty() && contents == contentsOf(other);
}

int setup() {
    for (const auto& [entry, ids] : pluggedChips()) {
        if (!unplug(entry)) {
            return fail("cannot unplug device " + std::to_string(entry));
        }
    }
    wchar_t system[MAX_PATH];
    GetSystemDirectoryW(system, MAX_PATH);
    for (const wchar_t* file : kDriverFiles) {
        const std::wstring from = folderOfThisProgram() + file;
        const std::wstring to = std::wstring(system) + L"\\drivers\\" + file;
        // A driver still loaded from before cannot be replaced, and need not
        // be when it is the same.
        if (!CopyFileW(from.c_str(), to.c_str(), FALSE) && !sameContents(from, to)) {
            return fail(
                "cannot copy the driver into system32\\drivers (a Wine session still "
                "runs an older one: end it with wineserver -k)");
        }
    }
    return settle({}) ? 0 : fail("chips stay plugged in");
}

// Unplugs device `entry` as soon as it has received `count` reports: the
// moment a test wants a chip to go while a caller awaits its reply, with no
// program to start in between.
int unplugAfter(unsigned long entry, const std::string& path, unsigned long count) {
    const auto deadline = std::chrono::steady_clock::now() + kSettleTimeout;
    for (;;) {
        bool reached = false;
        {
            // Read under the lock the chip writes under: on Windows a file
            // held open cannot be renamed over, and the chip would lose the
            // very report awaited here.
            const sim::ScenarioLock lock(path);
            const auto scenario = lock.held() ? sim::loadScenario(path) : std::nullopt;
            reached = scenario && entry < scenario->devices.chips.size() &&
                      scenario->devices.chips[entry].received.size() >= count;
        }
        if (reached) {
            return unplugOne(entry);
        }
        if (std::chrono::steady_clock::now() > deadline) {
            std::fprintf(stderr, "zorvex_winehid: device %lu never received %lu reports\n", entry,
                         count);
            return 1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

int usage() {
    std::fputs(
        "usage: zorvex_winehid setup | plug [FILE] | replug FILE N"
        " | unplug N [--after FILE COUNT]\n",
        stderr);
    return 2;
}

std::string utf8(const wchar_t* text) {
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string out(bytes > 0 ? bytes - 1 : 0, '\0');
    if (bytes > 1) {
        WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), bytes, nullptr, nullptr);
    }
    return out;
}

int run(int argc, char* argv[]) {
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "setup" && argc == 2) {
        return setup();
    }
    if (command == "plug" && argc <= 3) {
        return plug(argc == 3 ? argv[2] : "");
    }
    if (command == "replug" && argc == 4) {
        const auto entry = deviceNumber(argv[3]);
        return entry ? replug(argv[2], *entry) : usage();
    }
    if (command == "unplug" && argc == 3) {
        const auto entry = deviceNumber(argv[2]);
        return entry ? unplugOne(*entry) : usage();
    }
    if (command == "unplug" && argc == 6 && std::string(argv[3]) == "--after") {
        const auto entry = deviceNumber(argv[2]);
        const auto count = deviceNumber(argv[5]);
        return entry && count ? unplugAfter(*entry, argv[4], *count) : usage();
    }
    return usage();
}

}  // namespace

// Arguments come as UTF-16 and go on as UTF-8, which the scenario code takes
// for paths, so a scenario file may live under any name.
int wmain(int argc, wchar_t* wideArgv[]) {
    std::vector<std::string> arguments;
    for (int i = 0; i < argc; ++i) {
        arguments.push_back(utf8(wideArgv[i]));
    }
    std::vector<char*> argv;
    for (std::string& argument : arguments) {
        argv.push_back(argument.data());
    }
    return run(argc, argv.data());
}
