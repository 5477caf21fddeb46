#include "messages.h"

#include <libintl.h>
#include <limits.h>
#include <locale.h>
#include <unistd.h>

#include <string>

// The catalogs' domain: po/de.po becomes LOCALE/de/LC_MESSAGES/lodrix-playlist.mo.
static const char domain[] = "lodrix-playlist";

// The catalogs beside the program in the build tree (locale/), or where it is installed
// (../share/locale from its bin folder); found from the program's own path, so that a copy
// that was never installed still speaks the user's language.
static std::string catalog_folder() {
    char path[PATH_MAX];
    ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0)
        return "";
    std::string folder(path, size_t(length));
    folder.erase(folder.rfind('/') + 1);
    for (const char *below : {"locale", "../share/locale"})
        if (access((folder + below + "/de/LC_MESSAGES/lodrix-playlist.mo").c_str(), R_OK) == 0)
            return folder + below;
    return "";
}

void start_messages() {
    // All of the locale, so that gettext writes its texts in the locale's encoding; numbers
    // stay C's, since a playlist's times are written with a decimal point.
    setlocale(LC_ALL, "");
    setlocale(LC_NUMERIC, "C");
    std::string folder = catalog_folder();
    if (!folder.empty())
        bindtextdomain(domain, folder.c_str());
    textdomain(domain);
}

const char *translated(const char *text) { return dgettext(domain, text); }

bool write_text(FILE *stream, const char *text, size_t length) { return fwrite(text, 1, length, stream) == length; }
