// zorvex: switch DELOQ-72N units (MCP2221A chips whose GP0 pin drives the
// switch) on and off over USB.
//
// Every export enumerates the attached chips afresh, so the numbers passed in
// are positions in the enumeration at the moment of the call. Chip numbers
// count every MCP2221A; switch-unit numbers count only chips whose product
// string reads "DELOQ-72N SWITCHER".
#ifndef ZORVEX_H
#define ZORVEX_H

#include <cstddef>
#include <cstdint>
#include <string>

#if defined(_WIN32)
#define ZORVEX_CALL __cdecl
#if defined(ZORVEX_BUILDING_LIBRARY)
#define ZORVEX_API __declspec(dllexport)
#else
#define ZORVEX_API __declspec(dllimport)
#endif
#else
#define ZORVEX_CALL
#define ZORVEX_API __attribute__((visibility("default")))
#endif

// A USB string as UTF-16 code units, whatever the platform's wchar_t is.
// The caller owns it; getMcp2221aInfo replaces its contents. Everything here
// is inline so the library and its caller agree on one representation, and
// both allocate from the one C runtime heap they share.
class WideText {
  public:
    // Replaces the whole contents with `count` code units from `units`.
    void assign(const char16_t* units, std::size_t count) { units_.assign(units, count); }
    // The number of code units, without a terminator.
    std::size_t length() const noexcept { return units_.size(); }
    // The text followed by a zero code unit.
    const char16_t* c_str() const noexcept { return units_.c_str(); }

  private:
    std::u16string units_;
};

extern "C" {

// The number of attached MCP2221A chips, switch units included.
ZORVEX_API std::uint32_t ZORVEX_CALL getMcp2221aNum();

// The number of attached switch units.
ZORVEX_API std::uint32_t ZORVEX_CALL getZorvexNum();

// Reads chip `index`'s USB manufacturer and product strings. True once the
// chip answered; a string that could not be read leaves its text unchanged.
ZORVEX_API bool ZORVEX_CALL getMcp2221aInfo(std::uint32_t index, WideText& manufacturer,
                                            WideText& product);

// Writes the switch-unit product string and GP power-up settings into chip
// `index`'s flash. The chip becomes a switch unit once it is replugged.
ZORVEX_API bool ZORVEX_CALL setMcp2221aForZorvex(std::uint32_t index);

// Drives switch unit `index`'s GP0 pin: the low byte of `state` (1 on, 0 off).
ZORVEX_API bool ZORVEX_CALL switchZorvex(std::uint32_t index, std::uint32_t state);

}  // extern "C"

// Entry point types for callers that bind the library at run time.
using GetMcp2221aNumFn = std::uint32_t(ZORVEX_CALL*)();
using GetZorvexNumFn = std::uint32_t(ZORVEX_CALL*)();
using GetMcp2221aInfoFn = bool(ZORVEX_CALL*)(std::uint32_t, WideText&, WideText&);
using SetMcp2221aForZorvexFn = bool(ZORVEX_CALL*)(std::uint32_t);
using SwitchZorvexFn = bool(ZORVEX_CALL*)(std::uint32_t, std::uint32_t);

#endif  // ZORVEX_H
