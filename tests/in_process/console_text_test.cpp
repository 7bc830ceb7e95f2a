// The console's reading of numbers and its printing of chip strings: one
// rule on every build, so the same table and the same digest hold for the
// Linux build and the Windows build under Wine.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "argument_scan.h"
#include "cp932_text.h"

namespace zorvex::test {
namespace {

using console::readUnsigned;
using console::toCp932;

TEST(ArgumentScan, ReadsNumbersAsTheWindowsRuntimeDoes) {
    const struct {
        const char* text;
        std::uint32_t number;
    } numbers[] = {
        {"4294967295", 4294967295u},
        {"4294967296", 0u},
        {"4294967297", 1u},
        {"-4294967296", 0u},
        {"-4294967295", 1u},
        {"-99999999999", 3079215105u},
        {"99999999999", 1215752191u},
        {"18446744073709551617", 1u},
        {"-1", 4294967295u},
        {"+3", 3u},
        {"0x10", 0u},
        {" 5", 5u},
        {"\t\n7x", 7u},
        {"007", 7u},
    };
    for (const auto& [text, expected] : numbers) {
        std::uint32_t number = 12345;
        EXPECT_TRUE(readUnsigned(text, number)) << text;
        EXPECT_EQ(number, expected) << text;
    }
    for (const char* option : {"", " ", "-", "+", "-+3", "x1", "-on", "\xef\xbc\x91"}) {
        std::uint32_t number = 12345;
        EXPECT_FALSE(readUnsigned(option, number)) << option;
        EXPECT_EQ(number, 12345u) << option;
    }
}

std::string cp932(char32_t c) {
    return toCp932(std::u16string(1, static_cast<char16_t>(c)));
}

TEST(Cp932Text, PrintsOnlyWhatCodePage932HoldsAsItself) {
    EXPECT_EQ(toCp932(u"Maker 1.0"), "Maker 1.0");
    EXPECT_EQ(toCp932(u"\u65E5\u672C\uFF83\u8868"), "\x93\xfa\x96{\xc3\x95\x5c");
    // Converters that map these to something else (a look-alike, or bytes
    // that are no character) would make the builds differ.
    for (const char32_t c : {0x301C, 0x2016, 0x2212, 0x00A2, 0x00A3, 0x00AC, 0x2014, 0xF8F0, 0xF8F1,
                             0xF8F2, 0xF8F3, 0x00A5, 0x203E, 0xE000}) {
        EXPECT_EQ(cp932(c), "?") << std::hex << static_cast<std::uint32_t>(c);
    }
    // One '?' per character that cannot print, never none: controls, broken
    // surrogates, characters beyond the BMP, tag characters.
    EXPECT_EQ(toCp932(u"\x1b[\x7f\x85\xD800 \xDC00\U0001F600\U000E0020."), "?[??? ???.");
}

// FNV-1a, 64 bits: a digest of the whole sweep, the same on every build.
std::uint64_t digest(const std::string& bytes) {
    std::uint64_t hash = 0xcbf29ce484222325u;
    for (const unsigned char byte : bytes) {
        hash = (hash ^ byte) * 0x100000001b3u;
    }
    return hash;
}

TEST(Cp932Text, EveryCodePointGivesTheSameBytesOnEveryBuild) {
    std::string sweep;
    std::size_t printable = 0;
    for (char32_t c = 0; c <= 0xFFFF; ++c) {
        const std::string bytes = cp932(c);
        ASSERT_FALSE(bytes.empty()) << std::hex << static_cast<std::uint32_t>(c);
        printable += bytes != "?" || c == u'?';
        sweep += bytes;
        sweep += '\n';
    }
    EXPECT_EQ(printable, 7484u);
    // Code page 932 holds nothing beyond the BMP: every other code point,
    // tag characters too, prints as exactly one '?'.
    std::u16string astral;
    for (char32_t c = 0x10000; c <= 0x10FFFF; ++c) {
        astral.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
        astral.push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
    }
    EXPECT_EQ(toCp932(astral), std::string(0x100000, '?'));
    EXPECT_EQ(digest(sweep), 0x0691b68913756363u);
}

}  // namespace
}  // namespace zorvex::test
