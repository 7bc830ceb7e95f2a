#include "cp932_text.h"

namespace zorvex::console {

namespace {

bool isControl(char32_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F);
}

bool isHighSurrogate(char32_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}
bool isLowSurrogate(char32_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

// Private-use code points mean whatever a vendor chose; Windows maps four of
// them to single bytes that are not Shift-JIS characters at all.
bool isPrivateUse(char32_t c) {
    return (c >= 0xE000 && c <= 0xF8FF) || c >= 0xF0000;
}

}  // namespace

std::string toCp932(std::u16string_view text) {
    Cp932Encoder encoder;
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (isHighSurrogate(c) && i + 1 < text.size() && isLowSurrogate(text[i + 1])) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        }
        if (isControl(c) || isHighSurrogate(c) || isLowSurrogate(c) || isPrivateUse(c)) {
            out.push_back('?');
        } else if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (!encoder.append(c, out)) {
            out.push_back('?');
        }
    }
    return out;
}

}  // namespace zorvex::console
