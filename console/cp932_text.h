// USB strings (UTF-16) as code page 932 bytes for the console.
#ifndef ZORVEX_CONSOLE_CP932_TEXT_H
#define ZORVEX_CONSOLE_CP932_TEXT_H

#include <string>
#include <string_view>

namespace zorvex::console {

// ASCII passes through unchanged. A character code page 932 cannot hold (or
// holds only as a look-alike ASCII byte), a broken surrogate and a control
// character become '?', so a device cannot send escape sequences to the
// terminal.
std::string toCp932(std::u16string_view text);

// Appends the code page 932 bytes of one non-ASCII character; false when the
// code page has none. Provided per platform.
bool appendCp932(char32_t character, std::string& out);

}  // namespace zorvex::console

#endif
