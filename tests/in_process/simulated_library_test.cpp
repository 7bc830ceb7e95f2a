// The built simulated library, loaded as the console loads it, driven through
// a scenario file: what a user of the demo sees.
#include <gtest/gtest.h>

#include "expected_reports.h"
#include "scenario/scenario_store.h"
#include "temporary_file.h"
#include "test_platform.h"
#include "zorvex.h"

namespace zorvex::test {
namespace {

class SimulatedLibraryTest : public ::testing::Test {
  protected:
    void SetUp() override {
        library_ = openLibrary(buildPath(ZORVEX_SIM_LIBRARY));
        ASSERT_NE(library_, nullptr) << ZORVEX_SIM_LIBRARY;
        getMcp2221aNum_ = bind<GetMcp2221aNumFn>("getMcp2221aNum");
        getZorvexNum_ = bind<GetZorvexNumFn>("getZorvexNum");
        getMcp2221aInfo_ = bind<GetMcp2221aInfoFn>("getMcp2221aInfo");
        setMcp2221aForZorvex_ = bind<SetMcp2221aForZorvexFn>("setMcp2221aForZorvex");
        switchZorvex_ = bind<SwitchZorvexFn>("switchZorvex");
    }
    void TearDown() override {
        clearEnvironment(sim::kScenarioVariable);
        if (library_ != nullptr) {
            closeLibrary(library_);
        }
    }
    template <typename Fn>
    Fn bind(const char* name) {
        void* entry = librarySymbol(library_, name);
        EXPECT_NE(entry, nullptr) << name;
        return reinterpret_cast<Fn>(entry);
    }
    static void useScenario(const TemporaryFile& file) {
        setEnvironment(sim::kScenarioVariable, file.path());
    }
    static sim::SimChip savedChip(const TemporaryFile& file, std::size_t index) {
        return sim::loadScenario(file.path()).value().devices.chips.at(index);
    }
    static void replugInFile(const TemporaryFile& file, std::size_t index) {
        auto scenario = sim::loadScenario(file.path()).value();
        sim::replug(scenario.devices.chips.at(index));
        ASSERT_TRUE(sim::saveScenario(file.path(), scenario));
    }

    void* library_ = nullptr;
    GetMcp2221aNumFn getMcp2221aNum_ = nullptr;
    GetZorvexNumFn getZorvexNum_ = nullptr;
    GetMcp2221aInfoFn getMcp2221aInfo_ = nullptr;
    SetMcp2221aForZorvexFn setMcp2221aForZorvex_ = nullptr;
    SwitchZorvexFn switchZorvex_ = nullptr;
};

TEST_F(SimulatedLibraryTest, NoScenarioMeansNoDevices) {
    clearEnvironment(sim::kScenarioVariable);
    EXPECT_EQ(getMcp2221aNum_(), 0u);
    setEnvironment(sim::kScenarioVariable, "/nonexistent/zorvex.json");
    EXPECT_EQ(getMcp2221aNum_(), 0u);
    EXPECT_FALSE(switchZorvex_(0, 1));
}

TEST_F(SimulatedLibraryTest, PlainChipBecomesASwitchUnitAcrossCallsAndAReplug) {
    TemporaryFile file(R"({"devices": [{"vendorId": 1240, "productId": 221,
        "manufacturer": "Microchip Technology Inc.", "product": "MCP2221 USB-I2C/UART Combo"}]})");
    useScenario(file);
    ASSERT_EQ(getMcp2221aNum_(), 1u);

    ASSERT_TRUE(setMcp2221aForZorvex_(0));
    sim::SimChip chip = savedChip(file, 0);
    ASSERT_EQ(chip.received.size(), 2u);
    EXPECT_EQ(chip.received[0], kWriteProductStringReport);
    EXPECT_EQ(chip.received[1], kWriteGpSettingsReport);
    EXPECT_EQ(chip.flash.product, u"DELOQ-72N SWITCHER");
    EXPECT_EQ(chip.flash.gpSettings, (sim::PinBytes{0, 0, 17, 0}));
    EXPECT_EQ(getZorvexNum_(), 0u);

    replugInFile(file, 0);
    EXPECT_EQ(getZorvexNum_(), 1u);
    Text manufacturer;
    Text product;
    ASSERT_TRUE(getMcp2221aInfo_(0, manufacturer, product));
    EXPECT_EQ(std::u16string(product.view()), u"DELOQ-72N SWITCHER");

    ASSERT_TRUE(switchZorvex_(0, 1));
    chip = savedChip(file, 0);
    EXPECT_EQ(chip.received.back(), kSetGp0OnReport);
    EXPECT_EQ(chip.gpioOutput[0], 1);
}

}  // namespace
}  // namespace zorvex::test
