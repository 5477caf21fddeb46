#include "platform.h"

#include <errno.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform_system.h"

bool is_separator(char c) { return c == '/'; }
bool is_absolute(const char *path) { return path[0] == '/'; }

static bool names_working_directory(const char *path) {
    struct stat named, working;
    return stat(path, &named) == 0 && stat(".", &working) == 0 && named.st_dev == working.st_dev &&
           named.st_ino == working.st_ino;
}

const char *current_directory(void) { return working_directory(); }

void folder_as_uri_path(const char *folder, char *into) { strcpy(into, folder); }

const char *working_directory(void) {
    const char *pwd = getenv("PWD");
    if (pwd != nullptr && is_plain_absolute_path(pwd) && names_working_directory(pwd))
        return pwd;
    static char directory[4096];
    if (getcwd(directory, sizeof directory) != nullptr)
        return directory;
    // The buffer is the limit, not the number: say what it means.
    if (errno == ERANGE)
        errno = ENAMETOOLONG;
    return nullptr;
}
