// zorvex_cui [no] [option]: lists MCP2221A chips, counts switch units, sets a
// chip up as a unit and switches units on and off, through zorvex.dll found
// beside this program. It always ends with exit code 0.
#include <csignal>
#include <cstdio>

#include "argument_scan.h"
#include "commands.h"
#include "library_binding.h"
#include "messages.h"

using namespace zorvex::console;

namespace {

void run(int argc, char* argv[]) {
    const LoadedLibrary library;
    if (library.handle() == nullptr) {
        std::printf(kNotFoundFormat, kLibraryFileName);
        return;
    }
    EntryPoints entries;
    if (const char* missing = bindEntryPoints(library.handle(), entries)) {
        std::printf(kNotFoundFormat, missing);
        return;
    }
    if (argc < 2) {
        printUsage();
        return;
    }
    const CommandLine line = scanArguments(argc, argv);
    if (line.option != nullptr) {
        runOption(entries, line);
    }
}

}  // namespace

int main(int argc, char* argv[]) {
#if defined(SIGPIPE)
    // A reader that goes away (zorvex_cui -mcplist | head -1) loses the rest
    // of the output; it does not change the exit code.
    std::signal(SIGPIPE, SIG_IGN);
#endif
    try {
        run(argc, argv);
    } catch (...) {
        // Nothing more to say: the exit code is 0 whatever happened.
    }
    std::fflush(stdout);
    return 0;
}
