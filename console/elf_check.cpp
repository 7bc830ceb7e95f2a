#include "elf_check.h"

#include <elf.h>
#include <fcntl.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <vector>

namespace zorvex::console {

namespace {

// A file descriptor, closed when this goes out of scope.
class FileDescriptor {
  public:
    explicit FileDescriptor(const std::string& path)
        : fd_(open(path.c_str(), O_RDONLY | O_CLOEXEC)) {}
    ~FileDescriptor() {
        if (fd_ >= 0) {
            close(fd_);
        }
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }

  private:
    int fd_;
};

bool readAt(int fd, void* into, std::size_t length, std::uint64_t offset) {
    auto* bytes = static_cast<char*>(into);
    while (length > 0) {
        const ssize_t got = pread(fd, bytes, length, static_cast<off_t>(offset));
        if (got <= 0) {
            return false;
        }
        bytes += got;
        length -= static_cast<std::size_t>(got);
        offset += static_cast<std::uint64_t>(got);
    }
    return true;
}

bool fitsIn(std::uint64_t offset, std::uint64_t length, std::uint64_t size) {
    return offset <= size && length <= size - offset;
}

}  // namespace

bool isWholeElfFile(const std::string& path) {
    const FileDescriptor file(path);
    struct stat status {};
    if (file.get() < 0 || fstat(file.get(), &status) != 0 || !S_ISREG(status.st_mode)) {
        return false;
    }
    const auto size = static_cast<std::uint64_t>(status.st_size);
    ElfW(Ehdr) header{};
    if (size < sizeof header || !readAt(file.get(), &header, sizeof header, 0) ||
        std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 ||
        header.e_ident[EI_CLASS] != (sizeof(void*) == 8 ? ELFCLASS64 : ELFCLASS32) ||
        header.e_phentsize != sizeof(ElfW(Phdr)) || header.e_phnum == 0 ||
        !fitsIn(header.e_phoff, std::uint64_t{header.e_phnum} * sizeof(ElfW(Phdr)), size)) {
        return false;
    }
    std::vector<ElfW(Phdr)> segments(header.e_phnum);
    if (!readAt(file.get(), segments.data(), segments.size() * sizeof(ElfW(Phdr)),
                header.e_phoff)) {
        return false;
    }
    for (const ElfW(Phdr) & segment : segments) {
        if (segment.p_filesz != 0 && !fitsIn(segment.p_offset, segment.p_filesz, size)) {
            return false;
        }
    }
    return true;
}

}  // namespace zorvex::console
