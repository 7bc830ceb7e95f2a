// The console's Japanese texts, as code page 932 bytes.
#ifndef ZORVEX_CONSOLE_MESSAGES_H
#define ZORVEX_CONSOLE_MESSAGES_H

namespace zorvex::console {

// The seven lines of usage text.
extern const char* const kUsageText;

// "<name> is not found", for a missing library or entry point; takes one %s.
extern const char* const kNotFoundFormat;

}  // namespace zorvex::console

#endif
