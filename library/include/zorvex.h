/* zorvex: switch DELOQ-72N units (MCP2221A chips whose GP0 pin drives the
 * switch) on and off over USB. Compiles as C (C11) and as C++.
 *
 * Every export enumerates the attached chips afresh, so the numbers passed in
 * are positions in the enumeration at the moment of the call. Chip numbers
 * count every MCP2221A; switch-unit numbers count only chips whose product
 * string reads "DELOQ-72N SWITCHER". */
#ifndef ZORVEX_H
#define ZORVEX_H

#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>
#include <string.h>

#if defined(_WIN32)
/* For the process heap; without the min and max macros that would break
 * std::min and std::max in C++ callers. */
#if !defined(NOMINMAX)
#define NOMINMAX
#define ZORVEX_DEFINED_NOMINMAX
#endif
#include <windows.h>
#if defined(ZORVEX_DEFINED_NOMINMAX)
#undef NOMINMAX
#undef ZORVEX_DEFINED_NOMINMAX
#endif
#define ZORVEX_CALL __cdecl
#if defined(ZORVEX_BUILDING_LIBRARY)
#define ZORVEX_API __declspec(dllexport)
#else
#define ZORVEX_API __declspec(dllimport)
#endif
#else
#include <stdlib.h>
#define ZORVEX_CALL
#define ZORVEX_API __attribute__((visibility("default")))
#endif

/* A USB string as UTF-16 code units, laid out alike for every compiler.
 *
 * `units` holds `length` code units and a zero unit after them; `capacity`
 * counts the units the buffer holds, that zero included. A zero-filled
 * WideText is an empty text with no buffer.
 *
 * Who frees what: a caller may point `units` at a buffer of its own (with
 * `owned` 0). The library copies into it when the text fits (257 units
 * always do: a USB string has at most 256) and never frees it nor writes past
 * `capacity`. When the text does not fit, the library allocates a new buffer
 * from the allocator every module of the process reaches (the process heap
 * on Windows, malloc elsewhere) and sets `owned` to 1; the caller's own
 * buffer is left as it was. Call zorvexReleaseText once done with a WideText
 * the library may have filled: it frees an owned buffer and zeroes the
 * struct. */
typedef struct WideText {
    uint16_t* units;
    uint32_t length;
    uint32_t capacity;
    uint32_t owned;
} WideText;

static inline void* zorvexAllocateUnits(uint32_t count) {
#if defined(_WIN32)
    return HeapAlloc(GetProcessHeap(), 0, (SIZE_T)count * sizeof(uint16_t));
#else
    return malloc((size_t)count * sizeof(uint16_t));
#endif
}

/* Frees a buffer the library allocated, and leaves an empty text. */
static inline void zorvexReleaseText(WideText* text) {
    if (text->owned && text->units != NULL) {
#if defined(_WIN32)
        HeapFree(GetProcessHeap(), 0, text->units);
#else
        free(text->units);
#endif
    }
    memset(text, 0, sizeof *text);
}

/* Replaces the whole text with `count` code units. False, with the text
 * unchanged, when the memory for it cannot be had. */
static inline bool zorvexAssignText(WideText* text, const uint16_t* units, uint32_t count) {
    if (count >= text->capacity) {
        if (count == UINT32_MAX) {
            return false;
        }
        uint16_t* grown = (uint16_t*)zorvexAllocateUnits(count + 1);
        if (grown == NULL) {
            return false;
        }
        zorvexReleaseText(text);
        text->units = grown;
        text->capacity = count + 1;
        text->owned = 1;
    }
    if (count > 0) {
        memmove(text->units, units, (size_t)count * sizeof(uint16_t));
    }
    text->units[count] = 0;
    text->length = count;
    return true;
}

#if defined(__cplusplus)
/* In C++ the strings are passed by reference; the entry points are the same. */
#define ZORVEX_TEXT_ARG WideText&
extern "C" {
#else
#define ZORVEX_TEXT_ARG WideText*
#endif

/* The number of attached MCP2221A chips, switch units included. */
ZORVEX_API uint32_t ZORVEX_CALL getMcp2221aNum(void);

/* The number of attached switch units. */
ZORVEX_API uint32_t ZORVEX_CALL getZorvexNum(void);

/* Reads chip `index`'s USB manufacturer and product strings. True once the
 * chip answered; a string that could not be read leaves its text unchanged. */
ZORVEX_API bool ZORVEX_CALL getMcp2221aInfo(uint32_t index, ZORVEX_TEXT_ARG manufacturer,
                                            ZORVEX_TEXT_ARG product);

/* Writes the switch-unit product string and GP power-up settings into chip
 * `index`'s flash. The chip becomes a switch unit once it is replugged. */
ZORVEX_API bool ZORVEX_CALL setMcp2221aForZorvex(uint32_t index);

/* Drives switch unit `index`'s GP0 pin: the low byte of `state` (1 on, 0 off). */
ZORVEX_API bool ZORVEX_CALL switchZorvex(uint32_t index, uint32_t state);

/* Entry point types for callers that bind the library at run time. */
typedef uint32_t(ZORVEX_CALL* GetMcp2221aNumFn)(void);
typedef uint32_t(ZORVEX_CALL* GetZorvexNumFn)(void);
typedef bool(ZORVEX_CALL* GetMcp2221aInfoFn)(uint32_t, ZORVEX_TEXT_ARG, ZORVEX_TEXT_ARG);
typedef bool(ZORVEX_CALL* SetMcp2221aForZorvexFn)(uint32_t);
typedef bool(ZORVEX_CALL* SwitchZorvexFn)(uint32_t, uint32_t);

#if defined(__cplusplus)
} /* extern "C" */

#include <new>
#include <string_view>

namespace zorvex {

/* A WideText that releases what the library allocated for it when it goes
 * out of scope. Pass it where an export wants a WideText&. */
class Text {
  public:
    Text() = default;
    explicit Text(std::u16string_view units) { assign(units); }
    ~Text() { zorvexReleaseText(&text_); }
    Text(const Text&) = delete;
    Text& operator=(const Text&) = delete;

    operator WideText&() noexcept { return text_; }
    operator const WideText&() const noexcept { return text_; }
    /* Replaces the whole text; throws std::bad_alloc when memory runs out. */
    void assign(std::u16string_view units) { assign(text_, units); }
    static void assign(WideText& text, std::u16string_view units) {
        if (units.size() >= UINT32_MAX ||
            !zorvexAssignText(&text, reinterpret_cast<const uint16_t*>(units.data()),
                              static_cast<uint32_t>(units.size()))) {
            throw std::bad_alloc();
        }
    }
    std::size_t length() const noexcept { return text_.length; }
    std::u16string_view view() const noexcept { return viewOf(text_); }

    /* Any WideText's code units, without the zero after them. */
    static std::u16string_view viewOf(const WideText& text) noexcept {
        return text.units == nullptr
                   ? std::u16string_view()
                   : std::u16string_view(reinterpret_cast<const char16_t*>(text.units),
                                         text.length);
    }

  private:
    WideText text_{};
};

}  // namespace zorvex
#endif

#endif /* ZORVEX_H */
