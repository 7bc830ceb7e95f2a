#include "scenario/file_stamp.h"

#if defined(_WIN32)
#include <windows.h>

#include <filesystem>
#else
#include <sys/stat.h>
#endif

namespace zorvex::sim {

#if defined(_WIN32)
namespace fs = std::filesystem;
#endif

bool FileStamp::operator==(const FileStamp& other) const {
    return device == other.device && identity == other.identity && size == other.size &&
           modified == other.modified;
}

std::optional<FileStamp> stampOf(const std::string& path) {
#if defined(_WIN32)
    const HANDLE file = CreateFileW(fs::u8path(path).c_str(), FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return std::nullopt;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    const bool known = GetFileInformationByHandle(file, &info) != 0;
    CloseHandle(file);
    if (!known) {
        return std::nullopt;
    }
    FileStamp stamp;
    stamp.device = info.dwVolumeSerialNumber;
    stamp.identity = (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
    stamp.size = (std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
    stamp.modified =
        static_cast<std::int64_t>((std::uint64_t{info.ftLastWriteTime.dwHighDateTime} << 32) |
                                  info.ftLastWriteTime.dwLowDateTime);
    return stamp;
#else
    struct stat status {};
    if (stat(path.c_str(), &status) != 0) {
        return std::nullopt;
    }
    FileStamp stamp;
    stamp.device = static_cast<std::uint64_t>(status.st_dev);
    stamp.identity = static_cast<std::uint64_t>(status.st_ino);
    stamp.size = static_cast<std::uint64_t>(status.st_size);
    stamp.modified =
        static_cast<std::int64_t>(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec;
    return stamp;
#endif
}

}  // namespace zorvex::sim
