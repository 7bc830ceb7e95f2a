#include "scenario/scenario_writer.h"

namespace zorvex::sim {

using nlohmann::json;

std::string dumpNested(const json& value, bool compact, unsigned depth) {
    const std::string text =
        value.dump(compact ? -1 : 2, ' ', false, json::error_handler_t::replace);
    if (compact || depth == 0) {
        return text;
    }
    // Strings hold their line breaks escaped: every one in the text starts a
    // line, which sits `depth` levels further in.
    const std::string indent(2 * depth, ' ');
    std::string nested;
    nested.reserve(text.size() + text.size() / 8);
    for (const char c : text) {
        nested += c;
        if (c == '\n') {
            nested += indent;
        }
    }
    return nested;
}

void writeDocument(std::ostream& out, const json& document, bool compact,
                   const std::vector<std::string>& entryTexts) {
    const bool pretty = !compact;
    const char* const next = pretty ? ",\n" : ",";
    out << (pretty ? "{\n" : "{");
    for (auto member = document.begin(); member != document.end(); ++member) {
        out << (member != document.begin() ? next : "") << (pretty ? "  " : "")
            << dumpNested(json(member.key()), true, 0) << (pretty ? ": " : ":");
        if (member.key() != "devices") {
            out << dumpNested(member.value(), compact, 1);
        } else if (entryTexts.empty()) {
            out << "[]";
        } else {
            out << (pretty ? "[\n" : "[");
            for (std::size_t i = 0; i < entryTexts.size(); ++i) {
                out << (i > 0 ? next : "") << (pretty ? "    " : "") << entryTexts[i];
            }
            out << (pretty ? "\n  ]" : "]");
        }
    }
    out << (pretty ? "\n}\n" : "}\n");
}

}  // namespace zorvex::sim
