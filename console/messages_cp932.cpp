// Written here in UTF-8; the build compiles this file with
// -fexec-charset=CP932, so the program holds and prints Shift-JIS bytes.
#include "messages.h"

namespace zorvex::console {

const char* const kUsageText =
    "zorvex_cui.exe [no] [option] ... zorvex を制御する\n"
    "[option]\n"
    "   -mcplist : 接続されている Mcp2221a の情報を表示する\n"
    "   -zorvexnum  : 接続されている Zorvex の数を表示する\n"
    "   -set     : [no] で指定した Mcp2221a を Zorvex 用に設定する\n"
    "   -on      : [no] で指定した Zorvex を ON する\n"
    "   -off     : [no] で指定した Zorvex を OFF する\n";

const char* const kNotFoundFormat = "%s が見つかりません\n";

}  // namespace zorvex::console
