// The library's load-time step on POSIX systems: ask for the Japanese locale,
// so that a caller sharing this C runtime converts wide text as Japanese.
// Systems rarely know the name "japanese", so the nearest Japanese locale
// stands in for it. Loading never depends on the outcome.
#include <dirent.h>
#include <unistd.h>

#include <clocale>
#include <cstdlib>
#include <cstring>

namespace {

// glibc finds a locale in its archive or in a folder of its own under
// /usr/lib/locale, unless LOCPATH names other folders. With neither an
// archive nor a Japanese folder, every name below misses, and each miss is
// a search (the first reads all of locale.alias): that is most of what a
// start with no chip costs beyond hidapi's.
bool japaneseLocaleMayExist() {
#if defined(__GLIBC__)
    if (std::getenv("LOCPATH") != nullptr || access("/usr/lib/locale/locale-archive", F_OK) == 0) {
        return true;
    }
    DIR* folder = opendir("/usr/lib/locale");
    if (folder == nullptr) {
        return false;
    }
    bool found = false;
    for (const dirent* entry = readdir(folder); entry != nullptr && !found;
         entry = readdir(folder)) {
        found = std::strncmp(entry->d_name, "ja", 2) == 0;  // ja_JP.*, japanese
    }
    closedir(folder);
    return found;
#else
    return true;
#endif
}

__attribute__((constructor)) void selectJapaneseLocale() {
    if (!japaneseLocaleMayExist()) {
        return;
    }
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
