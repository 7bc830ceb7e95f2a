// The settings file: TOML, each key a row of the settings table.
#include <toml++/toml.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <optional>

#include "settings.h"
#include "settings_table.h"
#include "text/utf_text.h"
#include "unit_id.h"

namespace zorvex::daemon {

namespace {

bool storeUnitNames(const std::string& name, const toml::table& units, Settings& settings,
                    std::string& problem) {
    for (const auto& [id, unit] : units) {
        const std::string unitId(id.str());
        const toml::node* unitName = unit.is_table() ? unit.as_table()->get("name") : nullptr;
        if (!isUnitId(unitId) || unitName == nullptr || !unitName->is_string()) {
            problem = name + "." + unitId + " must be a unit id with a string name";
            return false;
        }
        settings.unitNames[unitId] = unitName->value<std::string>().value_or("");
    }
    return true;
}

bool storeFromFile(const Setting& setting, const std::string& name, const toml::node& node,
                   Settings& settings, std::string& problem) {
    switch (setting.kind) {
        case Kind::seconds: {
            const std::optional<double> number = node.value<double>();
            if (!number) {
                problem = name + " must be a number of seconds";
                return false;
            }
            return storeSeconds(setting, name, *number, settings, problem);
        }
        case Kind::onOff:
            if (!node.is_boolean()) {
                problem = name + " must be true or false";
                return false;
            }
            settings.*setting.onOff = node.value<bool>().value_or(true);
            return true;
        case Kind::unitNames:
            return storeUnitNames(name, *node.as_table(), settings, problem);
        case Kind::text:
            break;
    }
    if (!node.is_string()) {
        problem = name + " must be a string";
        return false;
    }
    return setting.store(name, node.value<std::string>().value_or(""), settings, problem);
}

// `text` in ASCII alone, with the same meaning: a character beyond ASCII in
// a basic ("double-quoted") string as its \u or \U escape, in a comment as
// "?". TOML allows such characters nowhere else but in a literal string,
// which has no escapes: there, and for text that is not UTF-8, `problem`
// says so, and nothing is returned. toml++ 3.3 (Debian 12's) reaches an
// unreachable point, undefined behaviour, when it asks whether one of
// U+00A1 to U+0499 or U+2D5E to U+3157 is whitespace, which it may do
// anywhere it is not sure it reads a string: it is given none.
std::optional<std::string> asciiOnly(const std::string& text, std::string& problem) {
    enum class In { code, comment, basic, literal, multiBasic, multiLiteral } in = In::code;
    std::string out;
    std::size_t line = 1;
    const auto refuse = [&](const char* what) {
        problem = what + std::string(" (line ") + std::to_string(line) + ")";
        return std::nullopt;
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const bool three = text.compare(i, 3, std::string(3, c)) == 0;
        line += c == '\n' ? 1 : 0;
        if (static_cast<unsigned char>(c) >= 0x80) {
            const text::Decoded decoded = text::decodeUtf8(text, i);
            if (decoded.character == text::kReplacement &&
                text.compare(i, 3, "\xEF\xBF\xBD") != 0) {
                return refuse("not UTF-8");
            }
            if (in == In::basic || in == In::multiBasic) {
                char escape[12];
                std::snprintf(escape, sizeof escape,
                              decoded.character > 0xFFFF ? "\\U%08X" : "\\u%04X",
                              static_cast<unsigned>(decoded.character));
                out += escape;
            } else if (in == In::comment) {
                out += '?';
            } else {
                return refuse(in == In::code ? "a character beyond ASCII outside a string"
                                             : "a character beyond ASCII in a 'literal' string: "
                                               "write it in a \"basic\" one");
            }
            i += decoded.length - 1;
            continue;
        }
        out += c;
        switch (in) {
            case In::code:
                in = c == '#'    ? In::comment
                     : c == '"'  ? (three ? In::multiBasic : In::basic)
                     : c == '\'' ? (three ? In::multiLiteral : In::literal)
                                 : In::code;
                break;
            case In::comment:
                in = c == '\n' ? In::code : in;
                break;
            case In::basic:
            case In::multiBasic:
                if (c == '\\' && i + 1 < text.size()) {
                    // An escape: the character it escapes is taken as it is.
                    if (static_cast<unsigned char>(text[i + 1]) >= 0x80) {
                        return refuse("an escape of a character beyond ASCII");
                    }
                    line += text[i + 1] == '\n' ? 1 : 0;
                    out += text[++i];
                    continue;
                }
                if (c == '"' && (in == In::basic || three)) {
                    in = In::code;
                } else if (c == '\n' && in == In::basic) {
                    in = In::code;  // a string not ended: toml++ says so
                }
                break;
            case In::literal:
            case In::multiLiteral:
                if ((c == '\'' && (in == In::literal || three)) ||
                    (c == '\n' && in == In::literal)) {
                    in = In::code;
                }
                break;
        }
        // A triple quote is one token: its other two quotes go out with it.
        if (three && (c == '"' || c == '\'') && i + 2 < text.size() &&
            (in == In::multiBasic || in == In::multiLiteral || in == In::code)) {
            out += text.substr(i + 1, 2);
            i += 2;
        }
    }
    return out;
}

}  // namespace

bool readSettingsFile(const std::string& path, Settings& settings, std::string& problem) {
    std::ifstream file(path, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(file)),
                           std::istreambuf_iterator<char>());
    if (!file && !file.eof()) {
        problem = path + ": cannot be read";
        return false;
    }
    const std::optional<std::string> ascii = asciiOnly(text, problem);
    if (!ascii) {
        problem = path + ": " + problem;
        return false;
    }
    toml::table table;
    try {
        table = toml::parse(*ascii, path);
    } catch (const toml::parse_error& error) {
        problem = path + ": " + std::string(error.description()) + " (line " +
                  std::to_string(error.source().begin.line) + ")";
        return false;
    }
    for (const auto& [key, node] : table) {
        const std::string name = path + ": " + std::string(key.str());
        const Setting* setting = settingOfKey(std::string(key.str()));
        if (setting == nullptr || (setting->kind == Kind::unitNames && !node.is_table())) {
            problem = name + " is no setting zorvexd knows";
            return false;
        }
        if (!storeFromFile(*setting, name, node, settings, problem)) {
            return false;
        }
    }
    return true;
}

}  // namespace zorvex::daemon
