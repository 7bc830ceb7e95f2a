#include "cp932_text.h"

#include "text/utf_text.h"

namespace zorvex::console {

namespace {

bool isControl(char32_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F);
}

// Private-use code points mean whatever a vendor chose; Windows maps four of
// them to single bytes that are not Shift-JIS characters at all.
bool isPrivateUse(char32_t c) {
    return (c >= 0xE000 && c <= 0xF8FF) || c >= 0xF0000;
}

}  // namespace

std::string toCp932(std::u16string_view units) {
    Cp932Encoder encoder;
    std::string out;
    for (std::size_t i = 0; i < units.size();) {
        const text::Decoded next = text::decodeUtf16(units, i);
        i += next.length;
        const char32_t c = next.character;
        if (isControl(c) || text::isSurrogate(c) || isPrivateUse(c)) {
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
