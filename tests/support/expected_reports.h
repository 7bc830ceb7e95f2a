// The three reports the library sends, as the emulator logs them: 65 bytes,
// report ID first, in lower-case hex. Written out here, independently of the
// code that builds them.
#ifndef ZORVEX_TESTS_EXPECTED_REPORTS_H
#define ZORVEX_TESTS_EXPECTED_REPORTS_H

#include <string>

namespace zorvex::test {

// Write Flash Data: the product string "DELOQ-72N SWITCHER".
const std::string kWriteProductStringReport =
    "00b1032603440045004c004f0051002d00370032004e002000530057004900540043004800450052000000"
    "00000000000000000000000000000000000000000000";
// Write Flash Data: the GP settings, over what the product string report
// left in the buffer.
const std::string kWriteGpSettingsReport =
    "00b1010000110045004c004f0051002d00370032004e002000530057004900540043004800450052000000"
    "00000000000000000000000000000000000000000000";
// Set GPIO Output Values: GP0 an output, high or low.
const std::string kSetGp0OnReport = "0050000101010000" + std::string(130 - 16, '0');
const std::string kSetGp0OffReport = "0050000100010000" + std::string(130 - 16, '0');

}  // namespace zorvex::test

#endif
