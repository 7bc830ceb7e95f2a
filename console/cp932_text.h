// USB strings (UTF-16) as code page 932 bytes for the console.
#ifndef ZORVEX_CONSOLE_CP932_TEXT_H
#define ZORVEX_CONSOLE_CP932_TEXT_H

#include <string>
#include <string_view>

namespace zorvex::console {

// ASCII passes through unchanged. A character prints only when code page
// 932 holds it as itself; anything else (a look-alike, a private-use code
// point, a broken surrogate) and every control character becomes one '?', so
// every build prints the same bytes and a device cannot send escape
// sequences to the terminal. No character is ever dropped.
std::string toCp932(std::u16string_view text);

// The platform's converter to code page 932 and back, set up once for a
// whole text. Provided per platform.
class Cp932Encoder {
  public:
    Cp932Encoder();
    ~Cp932Encoder();
    Cp932Encoder(const Cp932Encoder&) = delete;
    Cp932Encoder& operator=(const Cp932Encoder&) = delete;

    // Appends the code page 932 bytes of one non-ASCII character; false
    // unless those bytes convert back to the same character.
    bool append(char32_t character, std::string& out);

  private:
    // The platform's conversion state (iconv's two descriptors), if any.
    void* to_ = nullptr;
    void* back_ = nullptr;
};

}  // namespace zorvex::console

#endif
