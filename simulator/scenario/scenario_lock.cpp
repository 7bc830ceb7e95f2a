#include "scenario/scenario_lock.h"

#include <cerrno>
#include <filesystem>
#include <system_error>

#if defined(_WIN32)
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

namespace zorvex::sim {

namespace fs = std::filesystem;

ScenarioLock::ScenarioLock(const std::string& path) {
    std::error_code error;
    fs::path lockFile = fs::canonical(fs::u8path(path), error);
    if (error) {
        return;
    }
    lockFile += ".lock";
#if defined(_WIN32)
    const HANDLE file = CreateFileW(lockFile.c_str(), GENERIC_READ | GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return;
    }
    file_ = reinterpret_cast<std::intptr_t>(file);
    OVERLAPPED whole{};
    held_ = LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &whole) != 0;
#else
    const int file = open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (file < 0) {
        return;
    }
    file_ = file;
    int result;
    while ((result = flock(file, LOCK_EX)) != 0 && errno == EINTR) {
    }
    held_ = result == 0;
#endif
}

ScenarioLock::~ScenarioLock() {
    // Closing the lock file releases the lock.
#if defined(_WIN32)
    if (file_ != -1) {
        CloseHandle(reinterpret_cast<HANDLE>(file_));
    }
#else
    if (file_ >= 0) {
        close(static_cast<int>(file_));
    }
#endif
}

}  // namespace zorvex::sim
