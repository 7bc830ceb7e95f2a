#include "library_binding.h"

namespace zorvex::console {

namespace {

template <typename Fn>
bool bind(void* library, const char* name, Fn& entry) {
    entry = reinterpret_cast<Fn>(findEntryPoint(library, name));
    return entry != nullptr;
}

}  // namespace

const char* bindEntryPoints(void* library, EntryPoints& entries) {
    if (!bind(library, "getMcp2221aNum", entries.getMcp2221aNum)) {
        return "getMcp2221aNum";
    }
    if (!bind(library, "getZorvexNum", entries.getZorvexNum)) {
        return "getZorvexNum";
    }
    if (!bind(library, "getMcp2221aInfo", entries.getMcp2221aInfo)) {
        return "getMcp2221aInfo";
    }
    if (!bind(library, "setMcp2221aForZorvex", entries.setMcp2221aForZorvex)) {
        return "setMcp2221aForZorvex";
    }
    if (!bind(library, "switchZorvex", entries.switchZorvex)) {
        return "switchZorvex";
    }
    return nullptr;
}

}  // namespace zorvex::console
