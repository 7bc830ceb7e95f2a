// The library's load-time step on POSIX systems: ask for the Japanese locale,
// so that a caller sharing this C runtime converts wide text as Japanese.
// Systems rarely know the name "japanese", so the nearest Japanese locale
// stands in for it. Loading never depends on the outcome.
#include <clocale>

namespace {

__attribute__((constructor)) void selectJapaneseLocale() {
    // glibc tries a codeset's normalised spelling too (SJIS as sjis, UTF-8
    // as utf8), so each codeset is named once: every miss costs a search.
    static const char* const kCandidates[] = {
        "japanese", "ja_JP.SJIS", "ja_JP.eucJP", "ja_JP.UTF-8", "ja_JP",
    };
    for (const char* name : kCandidates) {
        if (std::setlocale(LC_ALL, name) != nullptr) {
            return;
        }
    }
}

}  // namespace
