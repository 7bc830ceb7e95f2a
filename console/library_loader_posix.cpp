// Module loading on POSIX systems: the executable's path from /proc, dlopen.
#include <dlfcn.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "elf_check.h"
#include "library_binding.h"

namespace zorvex::console {

namespace {

// The running executable's full path, however long; empty when unknown.
std::string executablePath() {
    std::vector<char> buffer(256);
    for (;;) {
        const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (length < 0) {
            return {};
        }
        if (static_cast<std::size_t>(length) < buffer.size()) {
            return std::string(buffer.data(), static_cast<std::size_t>(length));
        }
        buffer.resize(buffer.size() * 2);
    }
}

}  // namespace

void* loadLibraryBesideExecutable(const char* fileName) {
    const std::string executable = executablePath();
    const std::size_t separator = executable.rfind('/');
    if (separator == std::string::npos) {
        return dlopen(fileName, RTLD_NOW | RTLD_LOCAL);
    }
    // A damaged file is as good as none: "not found", never a crash.
    const std::string path = executable.substr(0, separator + 1) + fileName;
    return isWholeElfFile(path) ? dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL) : nullptr;
}

void* findEntryPoint(void* library, const char* name) {
    return dlsym(library, name);
}

void unloadLibrary(void* library) {
    dlclose(library);
}

}  // namespace zorvex::console
