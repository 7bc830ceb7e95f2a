#include "seam/linux/hidapi_framing.h"

#include <algorithm>

namespace zorvex::platform {

bool frameReply(const unsigned char* data, int received, HidReport& reply, std::uint32_t capacity,
                std::uint32_t& bytesRead) {
    bytesRead = 0;
    if (received <= 0 || capacity == 0) {
        return false;
    }
    const std::size_t fit = std::min<std::size_t>(capacity, reply.size()) - 1;
    const std::size_t payload = std::min(static_cast<std::size_t>(received), fit);
    reply[0] = 0;
    std::copy_n(data, payload, reply.begin() + 1);
    bytesRead = static_cast<std::uint32_t>(payload + 1);
    return true;
}

}  // namespace zorvex::platform
