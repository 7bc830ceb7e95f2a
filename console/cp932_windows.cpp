// Code page 932 through Windows' own converter, whatever the system's
// active code page is.
#include <windows.h>

#include "cp932_text.h"
#include "text/utf_text.h"

namespace zorvex::console {

// Windows' converter needs no state of its own.
Cp932Encoder::Cp932Encoder() = default;
Cp932Encoder::~Cp932Encoder() = default;

bool Cp932Encoder::append(char32_t character, std::string& out) {
    char16_t utf16[2] = {};
    const int count = static_cast<int>(text::encodeUtf16(character, utf16));
    const wchar_t units[2] = {static_cast<wchar_t>(utf16[0]), static_cast<wchar_t>(utf16[1])};
    char bytes[8];
    BOOL usedDefault = FALSE;
    const int length = WideCharToMultiByte(932, WC_NO_BEST_FIT_CHARS, units, count, bytes,
                                           sizeof bytes, nullptr, &usedDefault);
    if (length <= 0 || usedDefault) {
        return false;
    }
    // Only bytes that read back as the same character are that character.
    wchar_t back[4];
    if (MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, bytes, length, back, 4) != count ||
        back[0] != units[0] || (count == 2 && back[1] != units[1])) {
        return false;
    }
    out.append(bytes, static_cast<std::size_t>(length));
    return true;
}

}  // namespace zorvex::console
