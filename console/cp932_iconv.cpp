// Code page 932 through iconv, whatever locales the system has installed.
#include <iconv.h>

#include <cstring>

#include "cp932_text.h"

namespace zorvex::console {

namespace {

// What iconv_open gives when it cannot convert.
const iconv_t kClosed = reinterpret_cast<iconv_t>(-1);

// Converts all of `in` into `out`; the number of bytes written, or 0 when
// iconv refused any of it.
std::size_t convert(void* descriptor, const char* in, std::size_t inLength, char* out,
                    std::size_t outLength) {
    const auto cd = static_cast<iconv_t>(descriptor);
    if (cd == kClosed) {
        return 0;
    }
    char* inPointer = const_cast<char*>(in);
    char* outPointer = out;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    if (iconv(cd, &inPointer, &inLength, &outPointer, &outLength) == static_cast<std::size_t>(-1) ||
        inLength != 0) {
        return 0;
    }
    return static_cast<std::size_t>(outPointer - out);
}

void closeDescriptor(void* descriptor) {
    if (static_cast<iconv_t>(descriptor) != kClosed) {
        iconv_close(static_cast<iconv_t>(descriptor));
    }
}

}  // namespace

Cp932Encoder::Cp932Encoder()
    : to_(iconv_open("CP932", "UTF-32LE")), back_(iconv_open("UTF-32LE", "CP932")) {}

Cp932Encoder::~Cp932Encoder() {
    closeDescriptor(to_);
    closeDescriptor(back_);
}

bool Cp932Encoder::append(char32_t character, std::string& out) {
    const char utf32[4] = {static_cast<char>(character & 0xFF),
                           static_cast<char>(character >> 8 & 0xFF),
                           static_cast<char>(character >> 16 & 0xFF), 0};
    char bytes[8];
    const std::size_t length = convert(to_, utf32, sizeof utf32, bytes, sizeof bytes);
    // glibc maps some characters one way only (U+301C to the bytes of
    // U+FF5E) and drops others without a word (the tag characters): only
    // bytes that read back as the same character are that character.
    char back[8];
    if (length == 0 || convert(back_, bytes, length, back, sizeof back) != sizeof utf32 ||
        std::memcmp(back, utf32, sizeof utf32) != 0) {
        return false;
    }
    out.append(bytes, length);
    return true;
}

}  // namespace zorvex::console
