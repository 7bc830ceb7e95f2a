// An open device that closes itself on every path out of the step that
// opened it.
#ifndef ZORVEX_OPEN_DEVICE_H
#define ZORVEX_OPEN_DEVICE_H

#include "seam/platform.h"

namespace zorvex {

class OpenDevice {
  public:
    explicit OpenDevice(const DevicePath& path) : handle_(platform::openDevice(path)) {}
    ~OpenDevice() {
        if (handle_ != nullptr) {
            platform::closeDevice(handle_);
        }
    }
    OpenDevice(const OpenDevice&) = delete;
    OpenDevice& operator=(const OpenDevice&) = delete;

    bool isOpen() const { return handle_ != nullptr; }
    platform::DeviceHandle handle() const { return handle_; }

  private:
    platform::DeviceHandle handle_;
};

}  // namespace zorvex

#endif
