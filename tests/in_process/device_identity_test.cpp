#include "device_identity.h"
#include "device_set_fixture.h"
#include "seams/simulated_devices.h"

namespace zorvex::test {
namespace {

TEST(IsZorvexProduct, AcceptsOnlyTheExactSwitchUnitString) {
    EXPECT_TRUE(isZorvexProduct(Text(u"DELOQ-72N SWITCHER")));
    EXPECT_FALSE(isZorvexProduct(Text(u"DELOQ-72N SWITCHE")));    // 17 units
    EXPECT_FALSE(isZorvexProduct(Text(u"DELOQ-72N SWITCHER ")));  // 19 units
    EXPECT_FALSE(isZorvexProduct(Text(u"deloq-72n switcher")));
    EXPECT_FALSE(isZorvexProduct(Text(u"")));
    // A string that matches only up to an embedded zero unit is another string.
    EXPECT_FALSE(isZorvexProduct(Text(std::u16string(u"DELOQ-72N SWITCHER\0X", 20))));
}

class IdentityTest : public DeviceSetTest {};

TEST_F(IdentityTest, EmptyStringsAreTextWhileUnreadableOnesKeepTheCallersText) {
    sim::SimChip blank = plainChip(u"");
    sim::SimChip mute = plainChip();
    mute.manufacturerReadable = false;
    mute.productReadable = false;
    sim::SimChip noAttributes = plainChip();
    noAttributes.attributesReadable = false;
    devices.chips = {blank, mute, noAttributes};

    Text manufacturer(u"before");
    Text product(u"before");
    EXPECT_TRUE(getMcp2221aInfo(0, manufacturer, product));
    EXPECT_EQ(text(manufacturer), u"");
    EXPECT_EQ(text(product), u"MCP2221 USB-I2C/UART Combo");

    manufacturer.assign(u"caller's");
    product.assign(u"caller's too");
    EXPECT_TRUE(getMcp2221aInfo(1, manufacturer, product));
    EXPECT_EQ(text(manufacturer), u"caller's");
    EXPECT_EQ(text(product), u"caller's too");

    EXPECT_FALSE(readDeviceStrings(sim::simPath(2), manufacturer, product));
    EXPECT_EQ(text(manufacturer), u"caller's");
    EXPECT_FALSE(readDeviceStrings("no such device", manufacturer, product));
    EXPECT_EQ(text(product), u"caller's too");
}

TEST_F(IdentityTest, StringWithoutTerminatorIsCutAtTheBuffer) {
    devices.chips = {sim::makeMcp2221a(std::u16string(300, u'M'), std::u16string(256, u'P'))};
    Text manufacturer;
    Text product;
    ASSERT_TRUE(getMcp2221aInfo(0, manufacturer, product));
    EXPECT_EQ(text(manufacturer), std::u16string(256, u'M'));
    EXPECT_EQ(text(product), std::u16string(256, u'P'));
}

TEST_F(IdentityTest, SwitchUnitNumbersCountOnlyUnitsWhileChipNumbersCountEveryChip) {
    devices.chips = {plainChip(), zorvexUnit(), plainChip()};
    EXPECT_EQ(getMcp2221aNum(), 3u);
    EXPECT_EQ(getZorvexNum(), 1u);

    // Switch unit 0 is chip 1.
    EXPECT_TRUE(switchZorvex(0, 1));
    EXPECT_TRUE(chip(0).received.empty());
    EXPECT_EQ(chip(1).received.size(), 1u);
    EXPECT_TRUE(chip(2).received.empty());
    EXPECT_EQ(chip(1).gpioOutput[0], 1);

    // There is no switch unit 1; nothing is sent.
    EXPECT_FALSE(switchZorvex(1, 1));
    EXPECT_EQ(chip(1).received.size(), 1u);
    EXPECT_TRUE(chip(2).received.empty());

    // Chip 1 is set up again when asked by its chip number.
    EXPECT_TRUE(setMcp2221aForZorvex(1));
    EXPECT_EQ(chip(1).received.size(), 3u);
}

TEST_F(IdentityTest, EachChipIsJudgedByItsOwnProductString) {
    sim::SimChip unreadable = zorvexUnit();
    unreadable.productReadable = false;
    sim::SimChip closed = zorvexUnit();
    closed.openable = false;
    devices.chips = {zorvexUnit(), unreadable, plainChip(), zorvexUnit()};

    // The unit after the unreadable one is unit 1, not unit 2.
    EXPECT_EQ(getZorvexNum(), 2u);
    EXPECT_TRUE(switchZorvex(1, 1));
    EXPECT_TRUE(chip(1).received.empty());
    EXPECT_EQ(chip(3).received.size(), 1u);
    EXPECT_FALSE(switchZorvex(2, 1));

    devices.chips.insert(devices.chips.begin(), closed);
    DeviceList list{sim::simPath(0), sim::simPath(1), sim::simPath(2), sim::simPath(3),
                    sim::simPath(4)};
    EXPECT_EQ(countZorvexUnits(list), 2u);
    EXPECT_EQ(keepZorvexOnly(list), 2u);
    EXPECT_EQ(list, (DeviceList{sim::simPath(1), sim::simPath(4)}));
}

}  // namespace
}  // namespace zorvex::test
