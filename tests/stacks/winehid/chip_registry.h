// Where Wine's registry holds the emulated chips: one root-enumerated device
// per scenario entry, its instance named by the entry's number (so the HID
// class lists them in scenario order), and its Device Parameters key naming
// the entry and the scenario file.
#ifndef ZORVEX_WINEHID_CHIP_REGISTRY_H
#define ZORVEX_WINEHID_CHIP_REGISTRY_H

#include <cstdio>
#include <string>

namespace zorvex::winehid {

constexpr const wchar_t* kHardwareId = L"ZORVEX\\EMULATED_MCP2221A";
constexpr const wchar_t* kInstancePrefix = L"ROOT\\ZORVEXCHIP\\";
constexpr const wchar_t* kServiceName = L"zorvexchip";

// Values under each device's Device Parameters key.
constexpr const wchar_t* kEntryValue = L"Entry";        // REG_DWORD
constexpr const wchar_t* kScenarioValue = L"Scenario";  // REG_SZ, the file's path
constexpr const wchar_t* kIdsValue = L"Ids";            // REG_DWORD, vendor << 16 | product

inline std::wstring instanceId(unsigned long entry) {
    wchar_t number[16];
    std::swprintf(number, 16, L"%04lu", entry);
    return kInstancePrefix + std::wstring(number);
}

inline std::wstring parametersKey(unsigned long entry) {
    return L"SYSTEM\\CurrentControlSet\\Enum\\" + instanceId(entry) + L"\\Device Parameters";
}

}  // namespace zorvex::winehid

#endif
