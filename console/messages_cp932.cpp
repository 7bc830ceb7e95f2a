// The console's Japanese texts as code page 932 (Shift-JIS) bytes, each
// line spelled out in UTF-8 above its bytes. Escapes rather than a source
// charset, so that every compiler (clang has no -fexec-charset=CP932) builds
// the same bytes.
#include "messages.h"

namespace zorvex::console {

const char* const kUsageText =
    // zorvex_cui.exe [no] [option] ... zorvex を制御する
    "zorvex_cui.exe [no] [option] ... zorvex \x82\xf0\x90\xa7\x8c\xe4\x82\xb7\x82\xe9\n"
    // [option]
    "[option]\n"
    //    -mcplist : 接続されている Mcp2221a の情報を表示する
    "   -mcplist : \x90\xda\x91\xb1\x82\xb3\x82\xea\x82\xc4\x82\xa2\x82\xe9 Mcp2221a "
    "\x82\xcc\x8f\xee\x95\xf1\x82\xf0\x95\\\x8e\xa6\x82\xb7\x82\xe9\n"
    //    -zorvexnum  : 接続されている Zorvex の数を表示する
    "   -zorvexnum  : \x90\xda\x91\xb1\x82\xb3\x82\xea\x82\xc4\x82\xa2\x82\xe9 Zorvex "
    "\x82\xcc\x90\x94\x82\xf0\x95\\\x8e\xa6\x82\xb7\x82\xe9\n"
    //    -set     : [no] で指定した Mcp2221a を Zorvex 用に設定する
    "   -set     : [no] \x82\xc5\x8ew\x92\xe8\x82\xb5\x82\xbd Mcp2221a \x82\xf0 Zorvex "
    "\x97p\x82\xc9\x90\xdd\x92\xe8\x82\xb7\x82\xe9\n"
    //    -on      : [no] で指定した Zorvex を ON する
    "   -on      : [no] \x82\xc5\x8ew\x92\xe8\x82\xb5\x82\xbd Zorvex \x82\xf0 ON \x82\xb7\x82\xe9\n"
    //    -off     : [no] で指定した Zorvex を OFF する
    "   -off     : [no] \x82\xc5\x8ew\x92\xe8\x82\xb5\x82\xbd Zorvex \x82\xf0 OFF "
    "\x82\xb7\x82\xe9\n";

// %s が見つかりません
const char* const kNotFoundFormat =
    "%s \x82\xaa\x8c\xa9\x82\xc2\x82\xa9\x82\xe8\x82\xdc\x82\xb9\x82\xf1\n";

}  // namespace zorvex::console
