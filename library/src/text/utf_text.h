// UTF-8 and UTF-16, once for everything that converts between them: USB
// strings are UTF-16, sysfs and scenario files and MQTT hold UTF-8, and the
// console prints code points.
#ifndef ZORVEX_TEXT_UTF_TEXT_H
#define ZORVEX_TEXT_UTF_TEXT_H

#include <cstddef>
#include <string>
#include <string_view>

namespace zorvex::text {

// What stands for a malformed sequence or a lone surrogate.
constexpr char32_t kReplacement = 0xFFFD;
constexpr char32_t kLastCodePoint = 0x10FFFF;

constexpr bool isHighSurrogate(char32_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}
constexpr bool isLowSurrogate(char32_t unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}
constexpr bool isSurrogate(char32_t c) {
    return isHighSurrogate(c) || isLowSurrogate(c);
}

// One character read from a text: the code point and how many units or
// bytes it took.
struct Decoded {
    char32_t character;
    std::size_t length;
};

// The character that starts at text[at]: a surrogate pair is one, and a
// lone surrogate stands as itself, one unit long.
Decoded decodeUtf16(std::u16string_view text, std::size_t at);

// The character that starts at text[at]; a byte that starts no well-formed
// sequence (overlong, a surrogate, beyond U+10FFFF, cut short) is
// kReplacement, one byte long.
Decoded decodeUtf8(std::string_view text, std::size_t at);

// Writes `c` as UTF-16 into `units`: one unit, or a surrogate pair above
// U+FFFF. Returns how many.
std::size_t encodeUtf16(char32_t c, char16_t (&units)[2]);

void appendUtf16(std::u16string& out, char32_t c);
void appendUtf8(std::string& out, char32_t c);

// Malformed input becomes kReplacement, one per bad byte.
std::u16string utf8ToUtf16(std::string_view text);
// A lone surrogate becomes kReplacement.
std::string utf16ToUtf8(std::u16string_view text);

// `text` as UTF-16 in `out`, which holds `capacity` units: up to its first
// NUL, as many characters as fit whole (a surrogate pair is never split),
// the rest of `out` zero. Returns the units written.
std::size_t utf8ToUtf16Within(std::string_view text, char16_t* out, std::size_t capacity);

}  // namespace zorvex::text

#endif
