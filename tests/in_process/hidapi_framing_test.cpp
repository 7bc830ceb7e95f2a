#include "seam/linux/hidapi_framing.h"

#include <gtest/gtest.h>

namespace zorvex::platform {
namespace {

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
