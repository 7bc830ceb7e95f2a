// What the tests need of the platform they run on: the environment, loading
// a library at run time, and build paths as the test program sees them.
#ifndef ZORVEX_TESTS_TEST_PLATFORM_H
#define ZORVEX_TESTS_TEST_PLATFORM_H

#include <cstdlib>
#include <string>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace zorvex::test {

inline void setEnvironment(const char* name, const std::string& value) {
#if defined(_WIN32)
    _putenv_s(name, value.c_str());
#else
    setenv(name, value.c_str(), 1);
#endif
}

inline void clearEnvironment(const char* name) {
#if defined(_WIN32)
    _putenv_s(name, "");
#else
    unsetenv(name);
#endif
}

inline std::string environment(const char* name, const char* fallback = "") {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0' ? value : fallback;
}

// A path the build wrote down on the build machine. Windows test programs
// run under Wine, where the build machine's root is drive Z:.
inline std::string buildPath(std::string path) {
#if defined(_WIN32)
    if (!path.empty() && path.front() == '/') {
        path.insert(0, "Z:");
    }
    for (char& c : path) {
        c = c == '/' ? '\\' : c;
    }
#endif
    return path;
}

inline void* openLibrary(const std::string& path) {
#if defined(_WIN32)
    return LoadLibraryA(path.c_str());
#else
    return dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
#endif
}

inline void* librarySymbol(void* library, const char* name) {
#if defined(_WIN32)
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
#else
    return dlsym(library, name);
#endif
}

inline void closeLibrary(void* library) {
#if defined(_WIN32)
    FreeLibrary(static_cast<HMODULE>(library));
#else
    dlclose(library);
#endif
}

}  // namespace zorvex::test

#endif
