// What the hidapi seam does to strings and reports, apart from hidapi itself,
// so that it can be tested without hardware.
#ifndef ZORVEX_HIDAPI_FRAMING_H
#define ZORVEX_HIDAPI_FRAMING_H

#include <cstddef>
#include <cstdint>

#include "seam/platform.h"

namespace zorvex::platform {

// Converts a zero-terminated wide string, as hidapi returns it (UTF-32 where
// wchar_t has 32 bits, UTF-16 where it has 16), to UTF-16 in `buffer`:
// characters above U+FFFF become surrogate pairs, and whatever does not fit
// the 256 units is cut, a pair never split. Reads at most `length` wchar_ts.
void wideToUtf16(const wchar_t* text, std::size_t length, StringBuffer& buffer);

// hidapi leaves out the report ID of a device without numbered reports. Puts
// the ID 0 back in front of the `received` bytes it read (negative: the read
// failed; zero: nothing came in time) so that a reply looks as it does on
// Windows, keeping at most `capacity` bytes. False when no reply arrived.
bool frameReply(const unsigned char* data, int received, HidReport& reply, std::uint32_t capacity,
                std::uint32_t& bytesRead);

}  // namespace zorvex::platform

#endif
