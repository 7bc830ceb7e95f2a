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

// Appends the code page 932 bytes of one non-ASCII character; false unless
// those bytes convert back to the same character. Provided per platform.
bool appendCp932(char32_t character, std::string& out);

}  // namespace zorvex::console

#endif
