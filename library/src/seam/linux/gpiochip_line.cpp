#include "seam/linux/gpiochip_line.h"

#include <fcntl.h>
#include <linux/gpio.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

namespace zorvex::platform {

namespace {

constexpr const char* kDriverLabel = "mcp2221_gpio";
constexpr const char* kConsumer = "zorvex";
constexpr unsigned kGp0Line = 0;

// Another program using the chip (zorvexd's poll, another console) holds
// it for the few milliseconds of its own exchanges: a turn waits that long
// for it, and no longer.
constexpr auto kBusyBound = std::chrono::milliseconds(1000);
constexpr auto kBusyPause = std::chrono::milliseconds(2);

using Clock = std::chrono::steady_clock;

// This program's turn with the chip. hid_mcp2221 in 6.1 fills its one
// command buffer before it takes its own lock, so two programs using one
// chip's lines at once can send each other's commands, or a command half
// made (put right in later kernels). Every program of this project takes
// its turn by an advisory lock on the gpiochip; a program that does not
// (gpioset) still meets the request's EBUSY.
class ChipTurn {
  public:
    explicit ChipTurn(int chip) : chip_(chip) {
        const auto deadline = Clock::now() + kBusyBound;
        while (flock(chip_, LOCK_EX | LOCK_NB) != 0) {
            if (errno != EWOULDBLOCK || Clock::now() > deadline) {
                return;
            }
            std::this_thread::sleep_for(kBusyPause);
        }
        held_ = true;
    }
    ~ChipTurn() {
        if (held_) {
            flock(chip_, LOCK_UN);
        }
    }
    ChipTurn(const ChipTurn&) = delete;
    ChipTurn& operator=(const ChipTurn&) = delete;

    bool held() const { return held_; }

  private:
    int chip_;
    bool held_ = false;
};

// A requested line, released when it goes out of scope. The release leaves
// the line as it is: an output keeps its direction and value.
class RequestedLine {
  public:
    RequestedLine(int chip, bool drive, bool high) {
        gpio_v2_line_request request{};
        request.offsets[0] = kGp0Line;
        request.num_lines = 1;
        std::strncpy(request.consumer, kConsumer, sizeof request.consumer - 1);
        // No direction flag asks for the line as it is.
        if (drive) {
            request.config.flags = GPIO_V2_LINE_FLAG_OUTPUT;
            request.config.num_attrs = 1;
            request.config.attrs[0].attr.id = GPIO_V2_LINE_ATTR_ID_OUTPUT_VALUES;
            request.config.attrs[0].attr.values = high ? 1 : 0;
            request.config.attrs[0].mask = 1;
        }
        const auto deadline = Clock::now() + kBusyBound;
        while (ioctl(chip, GPIO_V2_GET_LINE_IOCTL, &request) != 0) {
            error_ = errno;
            if (error_ != EBUSY || Clock::now() > deadline) {
                return;
            }
            std::this_thread::sleep_for(kBusyPause);
        }
        error_ = 0;
        line_ = request.fd;
    }
    ~RequestedLine() {
        if (line_ >= 0) {
            close(line_);
        }
    }
    RequestedLine(const RequestedLine&) = delete;
    RequestedLine& operator=(const RequestedLine&) = delete;

    int line() const { return line_; }
    int error() const { return error_; }

  private:
    int line_ = -1;
    int error_ = 0;
};

LineState failure(int error) {
    // The driver's answer for a pin that is not general-purpose I/O.
    return error == ENOENT ? LineState::notGpio : LineState::noAnswer;
}

// hid_mcp2221 reads a pin two ways. A request asks the chip for the pin's
// direction, and the driver then reports "input" for a pin that is high or
// an input, "output" for a low output; the line's info says so. Its read
// of the value returns, in 6.1 and in every kernel until its layout of the
// chip's reply was put right (kernel bug 216736), the pin's direction byte
// (0 for an output) whatever the pin's level. For GP0, which a unit has as
// an output, the pin is high when either says so: in 6.1 only the
// direction can, and where the value is read right, both agree.
LineState readAsIs(int chip) {
    const RequestedLine requested(chip, false, false);
    if (requested.line() < 0) {
        return failure(requested.error());
    }
    gpio_v2_line_info info{};
    info.offset = kGp0Line;
    gpio_v2_line_values values{};
    values.mask = 1;
    if (ioctl(chip, GPIO_V2_GET_LINEINFO_IOCTL, &info) != 0) {
        return LineState::noAnswer;
    }
    // The value read also tells whether the chip answers at all: the
    // request does not.
    if (ioctl(requested.line(), GPIO_V2_LINE_GET_VALUES_IOCTL, &values) != 0) {
        return failure(errno);
    }
    const bool reportedInput = (info.flags & GPIO_V2_LINE_FLAG_OUTPUT) == 0;
    return reportedInput || (values.bits & 1) != 0 ? LineState::high : LineState::low;
}

}  // namespace

int openChipGpio(const std::string& path) {
    const int chip = open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (chip < 0) {
        return -1;
    }
    gpiochip_info info{};
    if (ioctl(chip, GPIO_GET_CHIPINFO_IOCTL, &info) != 0 ||
        std::strncmp(info.label, kDriverLabel, sizeof info.label) != 0) {
        close(chip);
        return -1;
    }
    return chip;
}

LineState readGp0(int chip) {
    const ChipTurn turn(chip);
    return turn.held() ? readAsIs(chip) : LineState::noAnswer;
}

// In 6.1 the driver does not report a failed value write: only the read
// back tells.
LineState driveGp0(int chip, bool high) {
    const ChipTurn turn(chip);
    if (!turn.held()) {
        return LineState::noAnswer;
    }
    {
        const RequestedLine requested(chip, true, high);
        if (requested.line() < 0) {
            return failure(requested.error());
        }
    }
    return readAsIs(chip);
}

}  // namespace zorvex::platform
