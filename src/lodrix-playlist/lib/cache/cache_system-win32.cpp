#include "lodrix-playlist/lib/cache/cache_system.h"

#include <errno.h>
#include <io.h>
#include <stdlib.h>
#include <windows.h>

#include <filesystem>

bool default_cache_file(std::string &file) {
    file.clear();
    const wchar_t *local = _wgetenv(L"LOCALAPPDATA");
    if (local == nullptr || local[0] == L'\0')
        return errno = ENOENT, false;
    std::filesystem::path folder = std::filesystem::path(local) / L"lodrix";
    file = (folder / L"readings.sqlite").u8string();
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error)
        errno = error.default_error_condition().value();
    return !error;
}

// FAT and exFAT keep no change time; a share reports what its server has.
ChangeTimes change_times(const std::string &path) {
    std::wstring wide = std::filesystem::u8path(path).wstring();
    wchar_t volume[MAX_PATH + 1], system[MAX_PATH + 1];
    if (!GetVolumePathNameW(wide.c_str(), volume, MAX_PATH + 1))
        return ChangeTimes::real;
    if (GetVolumeInformationW(volume, nullptr, 0, nullptr, nullptr, nullptr, system, MAX_PATH + 1) &&
        (_wcsicmp(system, L"FAT") == 0 || _wcsicmp(system, L"FAT32") == 0 || _wcsicmp(system, L"exFAT") == 0))
        return ChangeTimes::absent;
    return GetDriveTypeW(volume) == DRIVE_REMOTE ? ChangeTimes::reported : ChangeTimes::real;
}

// %LOCALAPPDATA% is the user's own; SQLite makes the file.
bool make_private_file(const std::string &) { return true; }

// No reader is forked.
const char *fork_safe_vfs() { return nullptr; }

// SQLite's words say enough where the error is Windows's own.
std::string system_error_text(int) { return ""; }
