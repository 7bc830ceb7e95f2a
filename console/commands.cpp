#include "commands.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "cp932_text.h"
#include "messages.h"

namespace zorvex::console {

namespace {

void printText(const char* label, const WideText& text) {
    const std::string bytes = toCp932(Text::viewOf(text));
    std::fputs(label, stdout);
    std::fwrite(bytes.data(), 1, bytes.size(), stdout);
    std::fputs("\n", stdout);
}

void listChips(const EntryPoints& library) {
    const std::uint32_t count = library.getMcp2221aNum();
    std::printf("Found Mcp2221a ... %u unit.\n", count);
    Text manufacturer;
    Text product;
    for (std::uint32_t chip = 0; chip < count; ++chip) {
        // Cleared for every chip, so a string one chip cannot give never
        // shows the text of the chip before it.
        manufacturer.assign(u"");
        product.assign(u"");
        if (!library.getMcp2221aInfo(chip, manufacturer, product)) {
            continue;
        }
        std::fputs("---------------------------------------------\n", stdout);
        std::printf("Mcp2221a[%u]\n", chip);
        printText("  Manufacture = ", manufacturer);
        printText("  Product     = ", product);
    }
}

}  // namespace

void printUsage() {
    std::fputs(kUsageText, stdout);
}

void runOption(const EntryPoints& library, const CommandLine& line) {
    const char* option = line.option;
    if (std::strcmp(option, "-mcplist") == 0) {
        listChips(library);
    } else if (std::strcmp(option, "-zorvexnum") == 0) {
        std::printf("Found Zorvex ... %u unit.\n", library.getZorvexNum());
    } else if (std::strcmp(option, "-set") == 0) {
        library.setMcp2221aForZorvex(line.unitNumber);
    } else if (std::strcmp(option, "-on") == 0) {
        library.switchZorvex(line.unitNumber, 1);
    } else if (std::strcmp(option, "-off") == 0) {
        library.switchZorvex(line.unitNumber, 0);
    } else {
        printUsage();
    }
}

}  // namespace zorvex::console
