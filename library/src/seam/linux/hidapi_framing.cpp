#include "seam/linux/hidapi_framing.h"

#include <algorithm>

namespace zorvex::platform {

void wideToUtf16(const wchar_t* text, std::size_t length, StringBuffer& buffer) {
    std::size_t out = 0;
    for (std::size_t i = 0; i < length && text[i] != L'\0'; ++i) {
        const auto c = static_cast<std::uint32_t>(text[i]);
        if (c > 0xFFFF && c <= 0x10FFFF) {
            if (out + 2 > buffer.size()) {
                break;
            }
            buffer[out++] = static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
            buffer[out++] = static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            if (out + 1 > buffer.size()) {
                break;
            }
            buffer[out++] = c > 0x10FFFF ? u'\uFFFD' : static_cast<char16_t>(c);
        }
    }
    std::fill(buffer.begin() + static_cast<std::ptrdiff_t>(out), buffer.end(), u'\0');
}

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
