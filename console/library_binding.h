// zorvex.dll, loaded at run time from the executable's own folder, and its
// five entry points.
#ifndef ZORVEX_CONSOLE_LIBRARY_BINDING_H
#define ZORVEX_CONSOLE_LIBRARY_BINDING_H

#include "zorvex.h"

namespace zorvex::console {

constexpr const char* kLibraryFileName = "zorvex.dll";

// Platform module loading. The library is looked for beside the running
// executable; when the executable's folder is unknown, the bare file name
// goes to the platform's own search.
void* loadLibraryBesideExecutable(const char* fileName);
void* findEntryPoint(void* library, const char* name);
void unloadLibrary(void* library);

// The library, unloaded when this goes out of scope.
class LoadedLibrary {
  public:
    LoadedLibrary() : handle_(loadLibraryBesideExecutable(kLibraryFileName)) {}
    ~LoadedLibrary() {
        if (handle_ != nullptr) {
            unloadLibrary(handle_);
        }
    }
    LoadedLibrary(const LoadedLibrary&) = delete;
    LoadedLibrary& operator=(const LoadedLibrary&) = delete;

    void* handle() const { return handle_; }

  private:
    void* handle_;
};

struct EntryPoints {
    GetMcp2221aNumFn getMcp2221aNum = nullptr;
    GetZorvexNumFn getZorvexNum = nullptr;
    GetMcp2221aInfoFn getMcp2221aInfo = nullptr;
    SetMcp2221aForZorvexFn setMcp2221aForZorvex = nullptr;
    SwitchZorvexFn switchZorvex = nullptr;
};

// Looks the five names up in their fixed order. Returns the first name the
// library lacks, or nullptr when all five were found.
const char* bindEntryPoints(void* library, EntryPoints& entries);

}  // namespace zorvex::console

#endif
