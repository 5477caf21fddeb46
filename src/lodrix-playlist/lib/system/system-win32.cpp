#include "system.h"

#include <errno.h>
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <bcrypt.h>
#include <winternl.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <mutex>

namespace fs = std::filesystem;

// Windows counts 100 ns since 1601.
static const int64_t ticks_before_1970 = 116444736000000000;

static int64_t ns_of(int64_t ticks) { return (ticks - ticks_before_1970) * 100; }

int64_t wall_clock_ns() {
    FILETIME now;
    GetSystemTimePreciseAsFileTime(&now);
    return ns_of(int64_t(uint64_t(now.dwHighDateTime) << 32 | now.dwLowDateTime));
}

// The volume serial of the folder a file is in, asked once per folder: Wine asks its mount
// manager (another process) for it at every file, which made a stat ten times as slow as an open
// and a kept reading's lookup 2.4 ms. A file is on its folder's volume (but for a link to a file
// elsewhere, which keeps the folder's serial, the same at every run).
static bool folder_serial(const std::string &path, DWORD &serial) {
    static std::mutex lock;
    static std::map<std::string, DWORD> serials;
    std::string folder = path.substr(0, path.find_last_of("/\\") + 1);
    if (folder.empty())
        folder = ".";
    std::lock_guard<std::mutex> locked(lock);
    auto known = serials.find(folder);
    if (known != serials.end())
        return serial = known->second, true;
    HANDLE handle = CreateFileW(std::filesystem::u8path(folder).c_str(), FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    BY_HANDLE_FILE_INFORMATION information;
    bool found = handle != INVALID_HANDLE_VALUE && GetFileInformationByHandle(handle, &information);
    if (handle != INVALID_HANDLE_VALUE)
        CloseHandle(handle);
    if (found)
        serials[folder] = serial = information.dwVolumeSerialNumber;
    return found;
}

// The volume serial, file index and size, and the last write and change times: what a
// handle opened for its attributes only tells.
static bool identity_of(HANDLE handle, const std::string &path, FileIdentity &identity) {
    FILE_BASIC_INFO times;
    FILE_STANDARD_INFO standard;
    FILE_INTERNAL_INFORMATION index;
    IO_STATUS_BLOCK status;
    DWORD serial;
    if (GetFileType(handle) != FILE_TYPE_DISK ||
        !GetFileInformationByHandleEx(handle, FileStandardInfo, &standard, sizeof standard) || standard.Directory ||
        !GetFileInformationByHandleEx(handle, FileBasicInfo, &times, sizeof times) ||
        NtQueryInformationFile(handle, &status, &index, sizeof index, FileInternalInformation) != 0 ||
        !folder_serial(path, serial))
        return false;
    identity = {serial, uint64_t(index.IndexNumber.QuadPart), standard.EndOfFile.QuadPart,
                ns_of(times.LastWriteTime.QuadPart), ns_of(times.ChangeTime.QuadPart)};
    return true;
}

bool identify_path(const std::string &path, FileIdentity &identity) {
    HANDLE handle = CreateFileW(std::filesystem::u8path(path).c_str(), FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    bool identified = identity_of(handle, path, identity);
    CloseHandle(handle);
    return identified;
}

int open_media_file(const std::string &path, int64_t &size, FileIdentity &identity) {
    int fd = _wopen(std::filesystem::u8path(path).c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
    if (fd < 0)
        return -1;
    HANDLE handle = HANDLE(_get_osfhandle(fd));
    size = handle != INVALID_HANDLE_VALUE && identity_of(handle, path, identity) ? identity.size : -1;
    return fd;
}

int64_t read_media_file(int fd, void *into, size_t size, int64_t at) {
    OVERLAPPED where = {};
    where.Offset = DWORD(at);
    where.OffsetHigh = DWORD(at >> 32);
    DWORD got = 0;
    if (ReadFile(HANDLE(_get_osfhandle(fd)), into, DWORD(size), &got, &where))
        return got;
    DWORD error = GetLastError();
    if (error == ERROR_HANDLE_EOF)
        return 0;
    errno = errno_of_windows_error(error);
    return -1;
}

void close_media_file(int fd) { _close(fd); }

int64_t monotonic_ms() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// Windows itself takes ".." by the letters of a path, before it looks at a folder. Paths are
// kept with "/", which Windows opens as well and a location needs.
bool absolute_path(const std::string &path, const std::string &base, std::string &absolute, std::error_code &error) {
    error.clear();
    fs::path given = fs::u8path(path);
    absolute = (given.is_absolute() ? given : fs::u8path(base) / given).lexically_normal().generic_u8string();
    while (absolute.size() > 1 && absolute.back() == '/' && absolute[absolute.size() - 2] != ':')
        absolute.pop_back();
    return true;
}

const char folder_separators[] = "/\\";
const bool names_have_case = false;

uint64_t random_seed() {
    uint64_t seed = 0;
    if (BCryptGenRandom(nullptr, (PUCHAR)&seed, sizeof seed, BCRYPT_USE_SYSTEM_PREFERRED_RNG) != 0) {
        // Where the system's generator fails, the time still makes each run's list another.
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        seed = uint64_t(now.QuadPart);
    }
    return seed;
}

std::string signal_name(int signal_number) { return std::to_string(signal_number); }

int errno_of_windows_error(unsigned long error) {
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return EACCES;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        return EEXIST;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return ENOSPC;
    default:
        return EIO;
    }
}
