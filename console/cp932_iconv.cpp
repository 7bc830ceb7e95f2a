// Code page 932 through iconv, whatever locales the system has installed.
#include <iconv.h>

#include <cerrno>

#include "cp932_text.h"

namespace zorvex::console {

namespace {

class Converter {
  public:
    Converter() : cd_(iconv_open("CP932", "UTF-32LE")) {}
    ~Converter() {
        if (cd_ != reinterpret_cast<iconv_t>(-1)) {
            iconv_close(cd_);
        }
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    bool convert(char32_t character, std::string& out) {
        if (cd_ == reinterpret_cast<iconv_t>(-1)) {
            return false;
        }
        char in[4] = {static_cast<char>(character & 0xFF), static_cast<char>(character >> 8 & 0xFF),
                      static_cast<char>(character >> 16 & 0xFF), 0};
        char bytes[8];
        char* inPointer = in;
        char* outPointer = bytes;
        std::size_t inLeft = sizeof in;
        std::size_t outLeft = sizeof bytes;
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        if (iconv(cd_, &inPointer, &inLeft, &outPointer, &outLeft) ==
            static_cast<std::size_t>(-1)) {
            return false;
        }
        out.append(bytes, static_cast<std::size_t>(outPointer - bytes));
        return true;
    }

  private:
    iconv_t cd_;
};

}  // namespace

bool appendCp932(char32_t character, std::string& out) {
    Converter converter;
    return converter.convert(character, out);
}

}  // namespace zorvex::console
