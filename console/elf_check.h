// A look at a shared object before dlopen maps it.
#ifndef ZORVEX_CONSOLE_ELF_CHECK_H
#define ZORVEX_CONSOLE_ELF_CHECK_H

#include <string>

namespace zorvex::console {

// True when `path` is an ELF file of this program's class whose program
// headers, and every segment they describe, lie inside the file. dlopen maps
// the segments without looking, and touching a page past the end of a cut
// file kills the process with SIGBUS instead of failing the load.
bool isWholeElfFile(const std::string& path);

}  // namespace zorvex::console

#endif
