// The console's options and what each one prints.
#ifndef ZORVEX_CONSOLE_COMMANDS_H
#define ZORVEX_CONSOLE_COMMANDS_H

#include "argument_scan.h"
#include "library_binding.h"

namespace zorvex::console {

void printUsage();

// Runs the option of `line`; an option that is none of the five prints the
// usage text. The results of -set, -on and -off are not shown.
void runOption(const EntryPoints& library, const CommandLine& line);

}  // namespace zorvex::console

#endif
