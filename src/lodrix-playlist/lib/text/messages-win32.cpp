#include "messages.h"

#include <io.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

#include <string>

// The German catalog, po/de.po as msgfmt compiles it, built into the program (catalog-de.cpp):
// a static program carries no file it would have to find.
extern const unsigned char german_catalog[];
extern const size_t german_catalog_size;

static bool german = false;

// As gettext takes the environment: LC_ALL, else LC_MESSAGES, else LANG names the locale; a C
// or POSIX locale is English whatever LANGUAGE says, another one LANGUAGE's first language
// where it names one. Without any of them, the language the user reads Windows in.
static bool wants_german() {
    const char *locale = nullptr;
    for (const char *name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char *value = getenv(name);
        if (value != nullptr && value[0] != '\0') {
            locale = value;
            break;
        }
    }
    if (locale == nullptr)
        return PRIMARYLANGID(GetUserDefaultUILanguage()) == LANG_GERMAN;
    if (strcmp(locale, "C") == 0 || strcmp(locale, "POSIX") == 0 || strncmp(locale, "C.", 2) == 0)
        return false;
    const char *languages = getenv("LANGUAGE");
    const char *language = languages != nullptr && languages[0] != '\0' ? languages : locale;
    return strncmp(language, "de", 2) == 0 && (language[2] == '\0' || strchr("_.:@", language[2]) != nullptr);
}

void start_messages() { german = wants_german(); }

static uint32_t word(size_t at) {
    const unsigned char *bytes = german_catalog + at;
    return uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 | uint32_t(bytes[3]) << 24;
}

// A .mo file: the count of texts at 8, the offsets of the tables of originals and of
// translations at 12 and 16, each entry a length and an offset; originals in sorted order.
const char *translated(const char *text) {
    if (!german || german_catalog_size < 28 || word(0) != 0x950412de)
        return text;
    uint32_t count = word(8), originals = word(12), translations = word(16);
    size_t low = 0, high = count;
    while (low < high) {
        size_t middle = (low + high) / 2;
        int order = strcmp(text, (const char *)german_catalog + word(originals + 8 * middle + 4));
        if (order == 0)
            return (const char *)german_catalog + word(translations + 8 * middle + 4);
        if (order < 0)
            high = middle;
        else
            low = middle + 1;
    }
    return text;
}

// A console shows wide characters whatever its code page; a file or a pipe gets UTF-8.
bool write_text(FILE *stream, const char *text, size_t length) {
    HANDLE handle = HANDLE(_get_osfhandle(_fileno(stream)));
    DWORD mode;
    if (handle == INVALID_HANDLE_VALUE || !GetConsoleMode(handle, &mode))
        return fwrite(text, 1, length, stream) == length;
    fflush(stream);
    std::wstring wide(size_t(MultiByteToWideChar(CP_UTF8, 0, text, int(length), nullptr, 0)), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text, int(length), &wide[0], int(wide.size()));
    DWORD written = 0;
    return WriteConsoleW(handle, wide.data(), DWORD(wide.size()), &written, nullptr) && written == wide.size();
}
