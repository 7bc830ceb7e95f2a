// The switch units attached now, named by where they are plugged in, and
// their GP0: read back from the chip (Get GPIO Values) and switched. What
// zorvexd and zorvexctl share of the library's code above the seam, beside
// the five exports.
#ifndef ZORVEX_UNITS_UNIT_INVENTORY_H
#define ZORVEX_UNITS_UNIT_INVENTORY_H

#include <string>
#include <vector>

#include "device_list.h"

namespace zorvex::units {

struct UnitSeen {
    std::string id;  // its port: the same after a replug
    DevicePath path;
    std::size_t chip = 0;      // its chip number, as zorvex_cui counts chips
    std::string manufacturer;  // the chip's USB manufacturer string, UTF-8
    std::string product;       // and its product string
};

// Every switch unit, in enumeration order. A unit whose port the platform
// cannot say is named by its place among the units ("unit0", ...).
std::vector<UnitSeen> findUnits();

enum class Gp0 { off, on, notGpio, noAnswer };

// GP0's output value as the chip reports it now.
Gp0 readGp0(const DevicePath& path);

// What the chip made of a switch: taken (the caller reads it back), refused
// because GP0 is not a GPIO, refused with another status, or no answer.
enum class Switch { taken, notGpio, refused, noAnswer };

// Drives GP0 high or low.
Switch switchGp0(const DevicePath& path, bool on);

const char* describe(Gp0 state);

}  // namespace zorvex::units

#endif
