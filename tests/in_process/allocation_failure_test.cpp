// Every export must answer 0 or false, never throw, when memory runs out at
// any allocation along its way, and must still close every handle.
#include "device_set_fixture.h"
#include "failing_allocator.h"

namespace zorvex::test {
namespace {

class AllocationFailureTest : public DeviceSetTest {
  protected:
    void SetUp() override {
        DeviceSetTest::SetUp();
        devices.chips = {keyboard(), plainChip(), zorvexUnit()};
    }
    // Runs `call` with the n-th allocation failing, for n = 0, 1, ... until a
    // run completes without reaching the failure.
    template <typename Call, typename Check>
    void failEachAllocation(Call call, Check checkWhenFailed) {
        for (long n = 0;; ++n) {
            failAllocationAfter(n);
            const auto result = call();
            const bool failed = allocationFailed();
            failAllocationAfter(-1);
            if (!failed) {
                return;
            }
            checkWhenFailed(result);
            for (const auto& device : devices.chips) {
                ASSERT_EQ(device.openHandles, 0) << "after failing allocation " << n;
            }
        }
    }
};

TEST_F(AllocationFailureTest, CountsAnswerZero) {
    failEachAllocation([] { return getMcp2221aNum(); },
                       [](std::uint32_t count) { EXPECT_EQ(count, 0u); });
    failEachAllocation([] { return getZorvexNum(); },
                       [](std::uint32_t count) { EXPECT_EQ(count, 0u); });
}

TEST_F(AllocationFailureTest, CommandsAnswerFalse) {
    Text manufacturer;
    Text product;
    const auto isFalse = [](bool result) { EXPECT_FALSE(result); };
    failEachAllocation([&] { return getMcp2221aInfo(1, manufacturer, product); }, isFalse);
    failEachAllocation([] { return setMcp2221aForZorvex(0); }, isFalse);
    failEachAllocation([] { return switchZorvex(0, 1); }, isFalse);
}

}  // namespace
}  // namespace zorvex::test
