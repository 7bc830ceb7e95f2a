// Each export against N = 1, 4, 16, 64 and 256 attached interfaces (half
// switch units, a quarter plain chips, a quarter other HID devices), on
// the in-process device seam: time per call and per interface, and how many
// seam operations a call makes against the fewest its work needs. A call
// that makes more fails the benchmark.
#include <benchmark/benchmark.h>

#include <string>

#include "chip/mcp2221a_emulator.h"
#include "seams/in_memory_devices.h"
#include "zorvex.h"

namespace {

using zorvex::sim::SeamCounts;
using zorvex::sim::SimChip;
using zorvex::sim::SimDevices;

SimDevices attachedDevices(std::int64_t count) {
    SimDevices devices;
    for (std::int64_t i = 0; i < count; ++i) {
        SimChip chip = zorvex::sim::makeMcp2221a();
        switch (i % 4) {
            case 1:
                break;
            case 2:
                chip.vendorId = 0x046D;
                chip.productId = 0xC31C;
                chip.product = u"USB Keyboard";
                break;
            default:
                chip.product = chip.flash.product = u"DELOQ-72N SWITCHER";
                chip.gpSettings = chip.flash.gpSettings = {0x00, 0x00, 0x11, 0x00};
        }
        devices.chips.push_back(chip);
    }
    return devices;
}

struct Census {
    std::uint64_t interfaces = 0;
    std::uint64_t chips = 0;
    std::uint64_t units = 0;
};

Census censusOf(const SimDevices& devices) {
    Census census;
    for (const SimChip& chip : devices.chips) {
        ++census.interfaces;
        census.chips += zorvex::sim::hasMcp2221aIds(chip);
        census.units += zorvex::sim::hasMcp2221aIds(chip) && chip.product == u"DELOQ-72N SWITCHER";
    }
    return census;
}

bool operator==(const SeamCounts& a, const SeamCounts& b) {
    return a.enumerations == b.enumerations && a.opens == b.opens && a.idReads == b.idReads &&
           a.stringReads == b.stringReads && a.writes == b.writes && a.reads == b.reads;
}

// What the algorithms cannot do without: one enumeration, every interface
// opened and its IDs read to find the chips, then the call's own work.
SeamCounts minimumFor(const std::string& call, const Census& c) {
    SeamCounts least{1, c.interfaces, c.interfaces, 0, 0, 0};
    if (call == "getZorvexNum" || call == "switchZorvex") {
        least.opens += c.chips;  // each chip's strings: open, IDs, two strings
        least.idReads += c.chips;
        least.stringReads += 2 * c.chips;
    }
    if (call == "getMcp2221aInfo") {
        least.opens += 1;
        least.idReads += 1;
        least.stringReads += 2;
    }
    if (call == "switchZorvex") {
        least.opens += 1;  // one exchange
        least.writes += 1;
        least.reads += 1;
    }
    if (call == "setMcp2221aForZorvex") {
        least.opens += 2;  // two exchanges
        least.writes += 2;
        least.reads += 2;
    }
    return least;
}

template <typename Call>
void measure(benchmark::State& state, const std::string& name, Call call) {
    SimDevices devices = attachedDevices(state.range(0));
    const Census census = censusOf(devices);
    zorvex::sim::attachDevices(&devices);
    devices.counts = {};
    call(census);
    const SeamCounts made = devices.counts;
    for (auto _ : state) {
        benchmark::DoNotOptimize(call(census));
        // The emulator logs every report; the log is no part of the cost.
        for (SimChip& chip : devices.chips) {
            chip.received.clear();
        }
    }
    zorvex::sim::attachDevices(nullptr);

    state.counters["per_interface"] = benchmark::Counter(
        static_cast<double>(census.interfaces),
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    state.counters["opens"] = static_cast<double>(made.opens);
    state.counters["reads"] = static_cast<double>(made.idReads + made.stringReads + made.reads);
    state.counters["writes"] = static_cast<double>(made.writes);
    if (!(made == minimumFor(name, census))) {
        state.SkipWithError("more device operations than the call's work needs");
    }
}

void getMcp2221aNumBench(benchmark::State& state) {
    measure(state, "getMcp2221aNum", [](const Census&) { return getMcp2221aNum(); });
}

void getZorvexNumBench(benchmark::State& state) {
    measure(state, "getZorvexNum", [](const Census&) { return getZorvexNum(); });
}

void getMcp2221aInfoBench(benchmark::State& state) {
    zorvex::Text manufacturer;
    zorvex::Text product;
    measure(state, "getMcp2221aInfo", [&](const Census& c) {
        return getMcp2221aInfo(static_cast<std::uint32_t>(c.chips - 1), manufacturer, product);
    });
}

void setMcp2221aForZorvexBench(benchmark::State& state) {
    measure(state, "setMcp2221aForZorvex", [](const Census& c) {
        return setMcp2221aForZorvex(static_cast<std::uint32_t>(c.chips - 1));
    });
}

void switchZorvexBench(benchmark::State& state) {
    measure(state, "switchZorvex", [](const Census& c) {
        return switchZorvex(static_cast<std::uint32_t>(c.units - 1), 1);
    });
}

}  // namespace

BENCHMARK(getMcp2221aNumBench)->RangeMultiplier(4)->Range(1, 256);
BENCHMARK(getZorvexNumBench)->RangeMultiplier(4)->Range(1, 256);
BENCHMARK(getMcp2221aInfoBench)->RangeMultiplier(4)->Range(1, 256);
BENCHMARK(setMcp2221aForZorvexBench)->RangeMultiplier(4)->Range(1, 256);
BENCHMARK(switchZorvexBench)->RangeMultiplier(4)->Range(1, 256);

BENCHMARK_MAIN();
