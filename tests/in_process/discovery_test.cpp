#include "discovery.h"
#include "device_set_fixture.h"
#include "seams/simulated_devices.h"

namespace zorvex::test {
namespace {

using sim::simPath;

class DiscoveryTest : public DeviceSetTest {};

TEST_F(DiscoveryTest, NothingAttachedAnswersZeroAndFalseEverywhere) {
    Text manufacturer(u"kept");
    Text product(u"also kept");
    EXPECT_EQ(getMcp2221aNum(), 0u);
    EXPECT_EQ(getZorvexNum(), 0u);
    EXPECT_FALSE(getMcp2221aInfo(0, manufacturer, product));
    EXPECT_EQ(text(manufacturer), u"kept");
    EXPECT_EQ(text(product), u"also kept");
    EXPECT_FALSE(setMcp2221aForZorvex(0));
    EXPECT_FALSE(switchZorvex(0, 1));
}

TEST_F(DiscoveryTest, KeepsOnlyChipsThatOpenAndCarryTheMcp2221aIds) {
    sim::SimChip otherMicrochip = plainChip();
    otherMicrochip.productId = 0x00DE;
    sim::SimChip heldElsewhere = plainChip();
    heldElsewhere.openable = false;
    sim::SimChip noAttributes = plainChip();
    noAttributes.attributesReadable = false;
    devices.chips = {keyboard(),   plainChip(),   otherMicrochip,
                     zorvexUnit(), heldElsewhere, noAttributes};

    DeviceList list{"left over"};
    EXPECT_EQ(enumerateHidDevices(list), 6u);
    EXPECT_EQ(list.front(), simPath(0));
    EXPECT_EQ(keepMcp2221aOnly(list), 2u);
    EXPECT_EQ(list, (DeviceList{simPath(1), simPath(3)}));

    // A switch unit is still a chip: the filter looks at the IDs only.
    EXPECT_EQ(getMcp2221aNum(), 2u);
}

TEST_F(DiscoveryTest, ChipNumbersFollowEnumerationOrderAndCloseUpAfterAnUnplug) {
    devices.chips = {keyboard(), plainChip(u"first"), keyboard(), plainChip(u"second")};
    Text manufacturer;
    Text product;
    ASSERT_TRUE(getMcp2221aInfo(0, manufacturer, product));
    EXPECT_EQ(text(manufacturer), u"first");
    ASSERT_TRUE(getMcp2221aInfo(1, manufacturer, product));
    EXPECT_EQ(text(manufacturer), u"second");

    devices.chips.erase(devices.chips.begin() + 1);
    EXPECT_EQ(getMcp2221aNum(), 1u);
    ASSERT_TRUE(getMcp2221aInfo(0, manufacturer, product));
    EXPECT_EQ(text(manufacturer), u"second");
    EXPECT_FALSE(getMcp2221aInfo(1, manufacturer, product));
}

TEST_F(DiscoveryTest, EmptyEnumerationLeavesTheListEmpty) {
    DeviceList list{"stale"};
    EXPECT_EQ(findMcp2221aChips(list), 0u);
    EXPECT_TRUE(list.empty());
}

}  // namespace
}  // namespace zorvex::test
