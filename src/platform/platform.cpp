#include "platform.h"

#include "platform_system.h"

#include <errno.h>
#include <stdlib.h>
#include <string.h>

// The output only counts once it has reached the file: a full disk, a closed stdout or a
// broken pipe must end in status 2, never in a short playlist and status 0.
int close_output(FILE *stream, const char *program, int write_error) {
    errno = 0;
    if (fclose(stream) != 0 && write_error == 0)
        write_error = errno != 0 ? errno : -1;
    return write_error_status(program, write_error);
}

int write_error_status(const char *program, int error) {
    if (error == 0)
        return 0;
    if (error > 0)
        fprintf(stderr, "%s: Fehler beim Schreiben der Ausgabe: %s\n", program, strerror(error));
    else
        fprintf(stderr, "%s: Fehler beim Schreiben der Ausgabe\n", program);
    return 2;
}

int no_current_directory(const char *program) {
    fprintf(stderr, "%s: aktuelles Verzeichnis nicht bestimmbar: %s\n", program, strerror(errno));
    return 3;
}

bool has_drive_letter(const char *path) {
    return (path[0] | 0x20) >= 'a' && (path[0] | 0x20) <= 'z' && path[1] == ':';
}


// As pwd -L takes $PWD: absolute, and no "." or ".." component that would make it name
// another folder than the one it spells.
bool is_plain_absolute_path(const char *path) {
    if (!is_absolute(path))
        return false;
    for (const char *component = path; *component != '\0';) {
        size_t length = 0;
        while (component[length] != '\0' && !is_separator(component[length]))
            ++length;
        if ((length == 1 && component[0] == '.') || (length == 2 && component[0] == '.' && component[1] == '.'))
            return false;
        component += length;
        if (*component != '\0')
            ++component;
    }
    return true;
}

void windows_directory_as_uri_path(const char *directory, char *into) {
    const char *from = directory;
    bool drive = has_drive_letter(directory);
    bool share = (directory[0] == '\\' || directory[0] == '/') && (directory[1] == '\\' || directory[1] == '/');
    if (drive)
        *into++ = '/';
    else if (share)
        from += 2;
    for (; *from != '\0'; ++from)
        *into++ = (drive || share) && *from == '\\' ? '/' : *from;
    *into = '\0';
}
