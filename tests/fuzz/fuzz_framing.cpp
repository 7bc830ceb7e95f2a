// The hidapi seam's framing: a reply gets its report ID back and is cut to
// the caller's capacity; a wide string becomes UTF-16 within 256 units, a
// surrogate pair never split, the rest of the buffer zero.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fuzz_check.h"
#include "seam/linux/hidapi_framing.h"

using namespace zorvex;
using namespace zorvex::platform;

namespace {

void fuzzReply(const std::uint8_t* data, std::size_t size) {
    if (size < 2) {
        return;
    }
    const int received = static_cast<std::int8_t>(data[0]);
    const std::uint32_t capacity = data[1];
    const std::uint8_t* bytes = data + 2;
    const std::size_t available = size - 2;
    if (received > 0 && static_cast<std::size_t>(received) > available) {
        return;  // hidapi never says it read more than it was given room for
    }
    HidReport reply;
    reply.fill(0xAA);
    std::uint32_t bytesRead = 12345;
    const bool framed = frameReply(bytes, received, reply, capacity, bytesRead);
    if (received <= 0 || capacity == 0) {
        check(!framed && bytesRead == 0);
        return;
    }
    const std::size_t payload = std::min<std::size_t>(
        {static_cast<std::size_t>(received), std::min<std::size_t>(capacity, 65) - 1});
    check(framed && bytesRead == payload + 1 && reply[0] == 0);
    check(std::equal(bytes, bytes + payload, reply.begin() + 1));
    check(std::all_of(reply.begin() + 1 + static_cast<std::ptrdiff_t>(payload), reply.end(),
                      [](std::uint8_t b) { return b == 0xAA; }));
}

void fuzzWide(const std::uint8_t* data, std::size_t size) {
    std::vector<wchar_t> text;
    for (std::size_t i = 0; i + 2 < size; i += 3) {
        text.push_back(
            static_cast<wchar_t>(data[i] | data[i + 1] << 8 | (data[i + 2] & 0x1F) << 16));
    }
    text.push_back(L'\0');
    StringBuffer buffer;
    buffer.fill(u'x');
    wideToUtf16(text.data(), text.size(), buffer);

    // The model: each character as one unit or a pair, while it fits.
    std::u16string expected;
    for (const wchar_t w : text) {
        const auto c = static_cast<std::uint32_t>(w);
        if (c == 0) {
            break;
        }
        std::u16string units;
        if (c > 0xFFFF && c <= 0x10FFFF) {
            units = {static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)),
                     static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF))};
        } else {
            units = {c > 0x10FFFF ? u'\uFFFD' : static_cast<char16_t>(c)};
        }
        if (expected.size() + units.size() > buffer.size()) {
            break;
        }
        expected += units;
    }
    check(std::equal(expected.begin(), expected.end(), buffer.begin()));
    check(std::all_of(buffer.begin() + static_cast<std::ptrdiff_t>(expected.size()), buffer.end(),
                      [](char16_t u) { return u == 0; }));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    if (data[0] % 2 == 0) {
        fuzzReply(data + 1, size - 1);
    } else {
        fuzzWide(data + 1, size - 1);
    }
    return 0;
}
