// Watches the kernel32 calls of the library under test by pointing its
// imports at wrappers that call the real functions: CreateFileA opens a
// device's interface path as its pipe, making sure that pipe has an
// instance waiting for it first (a HID device can be
// opened any number of times; a pipe only as often as it has instances),
// WriteFile lets the emulated chip answer, CloseHandle ends the instance, and
// CreateEventW and CloseHandle count events, so that an event left open shows,
// which Wine gives no other way to see.
#ifndef ZORVEX_WINEFAKE_IMPORT_HOOKS_H
#define ZORVEX_WINEFAKE_IMPORT_HOOKS_H

#include <windows.h>

#include <cstddef>

namespace zorvex::winefake {

// Starts watching `module`; a module already watched is left as it is.
void watchImportsOf(HMODULE module);

// Events created by a watched module and not closed yet.
std::size_t eventsLeftOpen();

}  // namespace zorvex::winefake

#endif
