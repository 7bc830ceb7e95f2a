// UTF-8 (scenario files) to UTF-16 (USB strings) and back.
#ifndef ZORVEX_TEXT_UTF_TEXT_H
#define ZORVEX_TEXT_UTF_TEXT_H

#include <string>
#include <string_view>

namespace zorvex::text {

// Malformed input becomes U+FFFD, one per bad sequence.
std::u16string utf8ToUtf16(std::string_view text);
std::string utf16ToUtf8(std::u16string_view text);

}  // namespace zorvex::text

#endif
