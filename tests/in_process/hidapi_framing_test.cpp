#include "seam/linux/hidapi_framing.h"

#include <gtest/gtest.h>

#include <string>

namespace zorvex::platform {
namespace {

std::u16string unitsOf(const StringBuffer& buffer) {
    std::u16string units(buffer.begin(), buffer.end());
    return units.substr(0, units.find(u'\0'));
}

TEST(HidapiFraming, WideStringsBecomeUtf16WithSurrogatePairs) {
    StringBuffer buffer;
    buffer.fill(u'x');
    const std::wstring text = L"A\u65E5\U0001F600z";
    wideToUtf16(text.c_str(), text.size() + 1, buffer);
    EXPECT_EQ(unitsOf(buffer), u"A\u65E5\U0001F600z");
    EXPECT_EQ(buffer[5], u'\0');  // the rest of the buffer is cleared

    wideToUtf16(L"", 1, buffer);
    EXPECT_EQ(buffer[0], u'\0');
}

TEST(HidapiFraming, LongStringsAreCutAtTheBufferWithoutSplittingAPair) {
    StringBuffer buffer;
    std::wstring text(kStringUnits + 10, L'a');
    wideToUtf16(text.c_str(), text.size(), buffer);
    EXPECT_EQ(std::u16string(buffer.begin(), buffer.end()), std::u16string(kStringUnits, u'a'));

    // 255 units, then a character that needs two: it does not fit whole.
    text = std::wstring(kStringUnits - 1, L'b') + L"\U0001F600";
    wideToUtf16(text.c_str(), text.size(), buffer);
    EXPECT_EQ(unitsOf(buffer), std::u16string(kStringUnits - 1, u'b'));

    // Never read past the given length, terminated or not.
    const wchar_t unterminated[3] = {L'p', L'q', L'r'};
    wideToUtf16(unterminated, 2, buffer);
    EXPECT_EQ(unitsOf(buffer), u"pq");
}

TEST(HidapiFraming, RepliesGetTheirReportIdBackAndFailedReadsAreEmpty) {
    unsigned char data[64];
    for (int i = 0; i < 64; ++i) {
        data[i] = static_cast<unsigned char>(0x50 + i);
    }
    HidReport reply{};
    reply.fill(0xAA);
    std::uint32_t bytesRead = 99;
    ASSERT_TRUE(frameReply(data, 64, reply, kHidReportSize, bytesRead));
    EXPECT_EQ(bytesRead, kHidReportSize);
    EXPECT_EQ(reply[0], 0x00);
    EXPECT_EQ(reply[1], 0x50);
    EXPECT_EQ(reply[64], 0x50 + 63);

    // A short reply, and a caller who wants fewer bytes than came.
    reply.fill(0xAA);
    ASSERT_TRUE(frameReply(data, 3, reply, kHidReportSize, bytesRead));
    EXPECT_EQ(bytesRead, 4u);
    EXPECT_EQ(reply[3], 0x52);
    EXPECT_EQ(reply[4], 0xAA);
    ASSERT_TRUE(frameReply(data, 64, reply, 10, bytesRead));
    EXPECT_EQ(bytesRead, 10u);
    EXPECT_EQ(reply[10], 0xAA);

    // Timed out (0) or failed (-1).
    EXPECT_FALSE(frameReply(data, 0, reply, kHidReportSize, bytesRead));
    EXPECT_EQ(bytesRead, 0u);
    EXPECT_FALSE(frameReply(data, -1, reply, kHidReportSize, bytesRead));
    EXPECT_EQ(bytesRead, 0u);
}

}  // namespace
}  // namespace zorvex::platform
