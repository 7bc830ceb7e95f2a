// The console as a whole against a fake library: the argument scan, the
// dispatch and every byte printed equal what a model of the rules gives, and
// the library is called only as the option asks.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "argument_scan.h"
#include "commands.h"
#include "cp932_text.h"
#include "fuzz_check.h"
#include "messages.h"

using namespace zorvex::console;

namespace {

// What the fake library answers, and what it was asked.
struct Script {
    std::uint32_t chips = 0;
    std::uint32_t units = 0;
    std::vector<bool> answers;
    std::vector<bool> stringsRead;
    std::u16string manufacturer;
    std::u16string product;
    std::string calls;
};
Script script;

std::uint32_t ZORVEX_CALL fakeChipCount() {
    script.calls += "num;";
    return script.chips;
}
std::uint32_t ZORVEX_CALL fakeUnitCount() {
    script.calls += "zorvexnum;";
    return script.units;
}
bool ZORVEX_CALL fakeInfo(std::uint32_t chip, WideText& manufacturer, WideText& product) {
    script.calls += "info" + std::to_string(chip) + ";";
    if (chip >= script.answers.size() || !script.answers[chip]) {
        return false;
    }
    if (script.stringsRead[chip]) {
        zorvex::Text::assign(manufacturer, script.manufacturer);
        zorvex::Text::assign(product, script.product);
    }
    return true;
}
bool ZORVEX_CALL fakeSet(std::uint32_t chip) {
    script.calls += "set" + std::to_string(chip) + ";";
    return false;
}
bool ZORVEX_CALL fakeSwitch(std::uint32_t unit, std::uint32_t state) {
    script.calls += "switch" + std::to_string(unit) + "," + std::to_string(state) + ";";
    return true;
}

// The model's reading of a number: blanks, one sign, decimal digits, the
// value taken modulo 2^32.
bool modelNumber(const std::string& text, std::uint32_t& number) {
    std::size_t i = text.find_first_not_of(" \t\n\v\f\r");
    if (i == std::string::npos) {
        return false;
    }
    bool negative = false;
    if (text[i] == '+' || text[i] == '-') {
        negative = text[i++] == '-';
    }
    if (i >= text.size() || text[i] < '0' || text[i] > '9') {
        return false;
    }
    std::uint64_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = (value * 10 + static_cast<std::uint64_t>(text[i] - '0')) % 0x100000000u;
    }
    number = static_cast<std::uint32_t>(negative ? (0x100000000u - value) % 0x100000000u : value);
    return true;
}

std::string modelOutput(const std::vector<std::string>& arguments, std::string& calls) {
    std::uint32_t unit = 0;
    const std::string* option = nullptr;
    for (const std::string& argument : arguments) {
        if (!modelNumber(argument, unit)) {
            option = &argument;
            break;
        }
    }
    if (option == nullptr) {
        return {};
    }
    char line[64];
    if (*option == "-mcplist") {
        calls = "num;";
        std::snprintf(line, sizeof line, "Found Mcp2221a ... %u unit.\n", script.chips);
        std::string out = line;
        for (std::uint32_t chip = 0; chip < script.chips; ++chip) {
            calls += "info" + std::to_string(chip) + ";";
            if (!script.answers[chip]) {
                continue;
            }
            const bool read = script.stringsRead[chip];
            out += std::string(45, '-') + "\nMcp2221a[" + std::to_string(chip) + "]\n";
            out += "  Manufacture = " + (read ? toCp932(script.manufacturer) : "") + "\n";
            out += "  Product     = " + (read ? toCp932(script.product) : "") + "\n";
        }
        return out;
    }
    if (*option == "-zorvexnum") {
        calls = "zorvexnum;";
        std::snprintf(line, sizeof line, "Found Zorvex ... %u unit.\n", script.units);
        return line;
    }
    if (*option == "-set") {
        calls = "set" + std::to_string(unit) + ";";
        return {};
    }
    if (*option == "-on" || *option == "-off") {
        calls = "switch" + std::to_string(unit) + "," + (*option == "-on" ? "1" : "0") + ";";
        return {};
    }
    return kUsageText;
}

// Standard output, caught in a memory file for the length of one run.
std::string captured(const std::vector<std::string>& arguments) {
    static const int memory = memfd_create("zorvex-console-output", 0);
    std::vector<char*> argv{const_cast<char*>("zorvex_cui")};
    for (const std::string& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);

    EntryPoints library{fakeChipCount, fakeUnitCount, fakeInfo, fakeSet, fakeSwitch};
    std::fflush(stdout);
    const int saved = dup(STDOUT_FILENO);
    ftruncate(memory, 0);
    lseek(memory, 0, SEEK_SET);
    dup2(memory, STDOUT_FILENO);
    const CommandLine line = scanArguments(static_cast<int>(argv.size() - 1), argv.data());
    if (line.option != nullptr) {
        runOption(library, line);
    }
    std::fflush(stdout);
    dup2(saved, STDOUT_FILENO);
    close(saved);

    std::string out(static_cast<std::size_t>(lseek(memory, 0, SEEK_END)), '\0');
    pread(memory, out.data(), out.size(), 0);
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 4) {
        return 0;
    }
    script = Script{};
    script.chips = data[0] % 5;
    script.units = static_cast<std::uint32_t>(data[1]) * 0x01010101u;
    for (std::uint32_t chip = 0; chip < script.chips; ++chip) {
        script.answers.push_back((data[2] >> chip) & 1);
        script.stringsRead.push_back((data[3] >> chip) & 1);
    }
    // The rest: arguments separated by zero bytes, then after a 0xFF byte
    // the strings the chips give, as UTF-16.
    const std::string rest(reinterpret_cast<const char*>(data + 4), size - 4);
    const std::size_t split = rest.find('\xff');
    const std::string words = rest.substr(0, split);
    if (split != std::string::npos) {
        const std::string units = rest.substr(split + 1);
        for (std::size_t i = 0; i + 1 < units.size(); i += 2) {
            const auto unit = static_cast<char16_t>(static_cast<unsigned char>(units[i]) |
                                                    static_cast<unsigned char>(units[i + 1]) << 8);
            (i % 4 == 0 ? script.manufacturer : script.product).push_back(unit);
        }
    }
    std::vector<std::string> arguments;
    std::size_t start = 0;
    while (start <= words.size() && arguments.size() < 6) {
        const std::size_t end = std::min(words.find('\0', start), words.size());
        arguments.push_back(words.substr(start, end - start));
        start = end + 1;
    }

    std::string expectedCalls;
    const std::string expected = modelOutput(arguments, expectedCalls);
    const std::string printed = captured(arguments);
    check(printed == expected);
    check(script.calls == expectedCalls);
    return 0;
}
