// What tells one version of a file from another: its identity, size and
// modification time.
#ifndef ZORVEX_SIM_FILE_STAMP_H
#define ZORVEX_SIM_FILE_STAMP_H

#include <cstdint>
#include <optional>
#include <string>

namespace zorvex::sim {

struct FileStamp {
    std::uint64_t device = 0;
    std::uint64_t identity = 0;
    std::uint64_t size = 0;
    std::int64_t modified = 0;
    bool operator==(const FileStamp& other) const;
};

// The file's stamp now; nullopt when there is no such file.
std::optional<FileStamp> stampOf(const std::string& path);

}  // namespace zorvex::sim

#endif
