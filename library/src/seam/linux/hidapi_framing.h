// What the hidapi seam does to the replies hidapi reads, apart from hidapi
// itself, so that it can be tested without hardware.
#ifndef ZORVEX_HIDAPI_FRAMING_H
#define ZORVEX_HIDAPI_FRAMING_H

#include <cstddef>
#include <cstdint>

#include "seam/platform.h"

namespace zorvex::platform {

// hidapi leaves out the report ID of a device without numbered reports. Puts
// the ID 0 back in front of the `received` bytes it read (negative: the read
// failed; zero: nothing came in time) so that a reply looks as it does on
// Windows, keeping at most `capacity` bytes. False when no reply arrived.
bool frameReply(const unsigned char* data, int received, HidReport& reply, std::uint32_t capacity,
                std::uint32_t& bytesRead);

}  // namespace zorvex::platform

#endif
