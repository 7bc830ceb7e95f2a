// Code page 932 through iconv, whatever locales the system has installed.
#include <iconv.h>

#include <cstring>

#include "cp932_text.h"

namespace zorvex::console {

namespace {

// One iconv conversion descriptor, closed when this goes out of scope.
class Iconv {
  public:
    Iconv(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~Iconv() {
        if (isOpen()) {
            iconv_close(cd_);
        }
    }
    Iconv(const Iconv&) = delete;
    Iconv& operator=(const Iconv&) = delete;

    bool isOpen() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

    // Converts all of `in` into `out`; the number of bytes written, or 0 when
    // iconv refused any of it.
    std::size_t convert(const char* in, std::size_t inLength, char* out, std::size_t outLength) {
        char* inPointer = const_cast<char*>(in);
        char* outPointer = out;
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        if (iconv(cd_, &inPointer, &inLength, &outPointer, &outLength) ==
                static_cast<std::size_t>(-1) ||
            inLength != 0) {
            return 0;
        }
        return static_cast<std::size_t>(outPointer - out);
    }

  private:
    iconv_t cd_;
};

}  // namespace

bool appendCp932(char32_t character, std::string& out) {
    Iconv encoder("CP932", "UTF-32LE");
    Iconv decoder("UTF-32LE", "CP932");
    if (!encoder.isOpen() || !decoder.isOpen()) {
        return false;
    }
    const char utf32[4] = {static_cast<char>(character & 0xFF),
                           static_cast<char>(character >> 8 & 0xFF),
                           static_cast<char>(character >> 16 & 0xFF), 0};
    char bytes[8];
    const std::size_t length = encoder.convert(utf32, sizeof utf32, bytes, sizeof bytes);
    // glibc maps some characters one way only (U+301C to the bytes of
    // U+FF5E) and drops others without a word (the tag characters): only
    // bytes that read back as the same character are that character.
    char back[8];
    if (length == 0 || decoder.convert(bytes, length, back, sizeof back) != sizeof utf32 ||
        std::memcmp(back, utf32, sizeof utf32) != 0) {
        return false;
    }
    out.append(bytes, length);
    return true;
}

}  // namespace zorvex::console
