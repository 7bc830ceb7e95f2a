// Module loading on POSIX systems: the executable's path from /proc, dlopen.
#include <dlfcn.h>
#include <unistd.h>

#include <string>
#include <vector>

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
    const std::string folder =
        separator == std::string::npos ? std::string() : executable.substr(0, separator + 1);
    return dlopen((folder + fileName).c_str(), RTLD_NOW | RTLD_LOCAL);
}

void* findEntryPoint(void* library, const char* name) {
    return dlsym(library, name);
}

void unloadLibrary(void* library) {
    dlclose(library);
}

}  // namespace zorvex::console
