// The console's chip-string conversion: for any UTF-16 input, every output
// character is '?', printable ASCII, or code page 932 bytes that read back
// as the very character that went in; one output character per input
// character, never none.
#include <iconv.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "cp932_text.h"

namespace {

// The character a code page 932 sequence stands for, through glibc.
char32_t decode(const std::string& bytes) {
    static const iconv_t cd = iconv_open("UTF-32LE", "CP932");
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        std::abort();  // no CP932 here: nothing could be checked
    }
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    char in[2];
    std::memcpy(in, bytes.data(), bytes.size());
    char out[8];
    char* inPointer = in;
    char* outPointer = out;
    std::size_t inLeft = bytes.size();
    std::size_t outLeft = sizeof out;
    const bool ok = iconv(cd, &inPointer, &inLeft, &outPointer, &outLeft) != std::size_t(-1) &&
                    inLeft == 0 && outPointer - out == 4;
    if (!ok) {
        return 0xFFFFFFFF;
    }
    return static_cast<unsigned char>(out[0]) | static_cast<unsigned char>(out[1]) << 8 |
           static_cast<unsigned char>(out[2]) << 16;
}

bool isLead(unsigned char b) {
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::u16string text;
    for (std::size_t i = 0; i + 1 < size; i += 2) {
        text.push_back(static_cast<char16_t>(data[i] | data[i + 1] << 8));
    }
    const std::string out = zorvex::console::toCp932(text);

    std::size_t at = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        }
        if (at >= out.size()) {
            std::abort();  // a character was dropped
        }
        const auto first = static_cast<unsigned char>(out[at]);
        const std::size_t length = isLead(first) ? 2 : 1;
        const std::string bytes = out.substr(at, length);
        at += length;
        if (bytes == "?" && c != u'?') {
            continue;  // what cannot print as itself
        }
        if (c < 0x20 || (c >= 0x7F && c <= 0x9F)) {
            std::abort();  // a control character got through
        }
        if (c < 0x80 ? bytes != std::string(1, static_cast<char>(c)) : decode(bytes) != c) {
            std::abort();  // printed as something it is not
        }
        if ((c >= 0xE000 && c <= 0xF8FF) || c >= 0xF0000) {
            std::abort();  // private use never prints
        }
    }
    if (at != out.size()) {
        std::abort();  // more characters out than in
    }
    return 0;
}
