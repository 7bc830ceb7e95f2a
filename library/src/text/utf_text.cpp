#include "text/utf_text.h"

#include <algorithm>
#include <cstdint>

namespace zorvex::text {

namespace {

constexpr char32_t kFirstPaired = 0x10000;

// The bytes a UTF-8 sequence takes, from its lead byte; 0 for a byte that
// starts none (a continuation byte, an overlong two-byte lead, beyond
// U+10FFFF).
std::size_t sequenceLength(std::uint8_t lead) {
    if (lead < 0x80) {
        return 1;
    }
    if (lead >= 0xC2 && lead < 0xE0) {
        return 2;
    }
    if (lead >= 0xE0 && lead < 0xF0) {
        return 3;
    }
    return lead >= 0xF0 && lead < 0xF5 ? 4 : 0;
}

}  // namespace

Decoded decodeUtf16(std::u16string_view text, std::size_t at) {
    const char32_t unit = text[at];
    if (isHighSurrogate(unit) && at + 1 < text.size() && isLowSurrogate(text[at + 1])) {
        return {kFirstPaired + ((unit - 0xD800) << 10) + (text[at + 1] - 0xDC00u), 2};
    }
    return {unit, 1};
}

Decoded decodeUtf8(std::string_view text, std::size_t at) {
    static const char32_t kShortest[] = {0, 0, 0x80, 0x800, kFirstPaired};
    const auto lead = static_cast<std::uint8_t>(text[at]);
    const std::size_t length = sequenceLength(lead);
    if (length == 0 || at + length > text.size()) {
        return {kReplacement, 1};
    }
    char32_t c = length == 1 ? lead : lead & (0x7Fu >> length);
    for (std::size_t k = 1; k < length; ++k) {
        const auto next = static_cast<std::uint8_t>(text[at + k]);
        if ((next & 0xC0) != 0x80) {
            return {kReplacement, 1};
        }
        c = (c << 6) | (next & 0x3Fu);
    }
    if (c < kShortest[length] || c > kLastCodePoint || isSurrogate(c)) {
        return {kReplacement, 1};
    }
    return {c, length};
}

std::size_t encodeUtf16(char32_t c, char16_t (&units)[2]) {
    if (c < kFirstPaired) {
        units[0] = static_cast<char16_t>(c);
        return 1;
    }
    c -= kFirstPaired;
    units[0] = static_cast<char16_t>(0xD800 + (c >> 10));
    units[1] = static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    return 2;
}

void appendUtf16(std::u16string& out, char32_t c) {
    char16_t units[2];
    out.append(units, encodeUtf16(c, units));
}

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < kFirstPaired) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

std::u16string utf8ToUtf16(std::string_view text) {
    std::u16string out;
    for (std::size_t i = 0; i < text.size();) {
        const Decoded next = decodeUtf8(text, i);
        appendUtf16(out, next.character);
        i += next.length;
    }
    return out;
}

std::string utf16ToUtf8(std::u16string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        const Decoded next = decodeUtf16(text, i);
        appendUtf8(out, isSurrogate(next.character) ? kReplacement : next.character);
        i += next.length;
    }
    return out;
}

std::size_t utf8ToUtf16Within(std::string_view text, char16_t* out, std::size_t capacity) {
    std::size_t written = 0;
    for (std::size_t i = 0; i < text.size() && text[i] != '\0';) {
        const Decoded next = decodeUtf8(text, i);
        char16_t units[2];
        const std::size_t count = encodeUtf16(next.character, units);
        if (written + count > capacity) {
            break;
        }
        std::copy_n(units, count, out + written);
        written += count;
        i += next.length;
    }
    std::fill(out + written, out + capacity, u'\0');
    return written;
}

}  // namespace zorvex::text
