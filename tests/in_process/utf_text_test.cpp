// UTF-8 and UTF-16 as every part of zorvex converts them: the strings it
// prints, stores in scenario files and reads from sysfs.
#include "text/utf_text.h"

#include <gtest/gtest.h>

#include <array>
#include <string>

namespace zorvex::text {
namespace {

TEST(UtfText, ConvertsBothWaysIncludingSurrogatePairs) {
    const std::string utf8 = "A\xC3\xA9\xE6\x97\xA5\xF0\x9F\x98\x80";  // A é 日 😀
    const std::u16string utf16 = u"A\u00E9\u65E5\U0001F600";
    EXPECT_EQ(utf8ToUtf16(utf8), utf16);
    EXPECT_EQ(utf16ToUtf8(utf16), utf8);
    // Truncated, overlong and surrogate-encoding sequences, and a lone surrogate.
    EXPECT_EQ(utf8ToUtf16("\xE6\x97"), u"\uFFFD\uFFFD");
    EXPECT_EQ(utf8ToUtf16("\xC0\xAF"), u"\uFFFD\uFFFD");
    EXPECT_EQ(utf8ToUtf16("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");
    EXPECT_EQ(utf8ToUtf16("\xF4\x90\x80\x80"), u"\uFFFD\uFFFD\uFFFD\uFFFD");  // past U+10FFFF
    EXPECT_EQ(utf16ToUtf8(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");
    EXPECT_EQ(utf16ToUtf8(u"\xDC00\xD800"), "\xEF\xBF\xBD\xEF\xBF\xBD");  // the wrong way round
}

// A USB string read into its 256-unit buffer.
std::u16string within(const std::string& utf8, std::array<char16_t, 256>& buffer) {
    const std::size_t written = utf8ToUtf16Within(utf8, buffer.data(), buffer.size());
    return std::u16string(buffer.data(), written);
}

TEST(UtfText, FitsABufferWholeCharactersFirstAndClearsTheRest) {
    std::array<char16_t, 256> buffer;
    buffer.fill(u'x');
    EXPECT_EQ(within("A\xE6\x97\xA5\xF0\x9F\x98\x80z", buffer), u"A\u65E5\U0001F600z");
    EXPECT_EQ(buffer[5], u'\0');  // the rest of the buffer is cleared

    EXPECT_EQ(within(std::string(300, 'a'), buffer), std::u16string(256, u'a'));
    // 255 units, then a character that needs two: it does not fit whole.
    EXPECT_EQ(within(std::string(255, 'b') + "\xF0\x9F\x98\x80", buffer),
              std::u16string(255, u'b'));
    EXPECT_EQ(buffer[255], u'\0');
    // The text ends at its first NUL, and an empty one is empty.
    EXPECT_EQ(within(std::string("pq\0r", 4), buffer), u"pq");
    EXPECT_EQ(within("", buffer), u"");
    EXPECT_EQ(buffer[0], u'\0');
}

}  // namespace
}  // namespace zorvex::text
