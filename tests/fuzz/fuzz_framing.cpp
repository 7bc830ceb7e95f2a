// The Linux seam's framing: a reply gets its report ID back and is cut to
// the caller's capacity; a sysfs string (UTF-8, any bytes) becomes UTF-16
// within its buffer, whole characters as far as they fit, a surrogate pair
// never split, the rest of the buffer zero.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "seam/linux/hidapi_framing.h"
#include "text/utf_text.h"

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

void fuzzString(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return;
    }
    const std::size_t capacity = data[0];
    const std::string utf8(reinterpret_cast<const char*>(data + 1), size - 1);
    std::vector<char16_t> buffer(capacity + 1, u'x');  // one more, never to be written
    const std::size_t written = text::utf8ToUtf16Within(utf8, buffer.data(), capacity);
    check(written <= capacity && buffer[capacity] == u'x');
    check(std::all_of(buffer.begin() + static_cast<std::ptrdiff_t>(written),
                      buffer.begin() + static_cast<std::ptrdiff_t>(capacity),
                      [](char16_t u) { return u == 0; }));

    // The same as the whole text up to its first NUL would give, cut only
    // where the next character does not fit whole.
    const std::u16string whole = text::utf8ToUtf16(utf8.substr(0, utf8.find('\0')));
    check(whole.compare(0, written, buffer.data(), written) == 0);
    if (written < whole.size()) {
        const std::size_t next = text::isHighSurrogate(whole[written]) ? 2 : 1;
        check(written + next > capacity);
    }
    check(written == 0 || !text::isHighSurrogate(buffer[written - 1]));
    // Plain ASCII comes through as it is.
    if (utf8.size() <= capacity && std::all_of(utf8.begin(), utf8.end(), [](char c) {
            return c > 0 && static_cast<unsigned char>(c) < 0x80;
        })) {
        check(std::equal(utf8.begin(), utf8.end(), buffer.begin()) && written == utf8.size());
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    if (data[0] % 2 == 0) {
        fuzzReply(data + 1, size - 1);
    } else {
        fuzzString(data + 1, size - 1);
    }
    return 0;
}
