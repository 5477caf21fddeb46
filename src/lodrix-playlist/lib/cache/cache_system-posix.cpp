#include "lodrix-playlist/lib/cache/cache_system.h"

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <mutex>

#include <sqlite3.h>

// XDG's base folders must be absolute; a relative one is ignored.
bool default_cache_file(std::string &file) {
    const char *cache_home = getenv("XDG_CACHE_HOME"), *home = getenv("HOME");
    std::string base;
    if (cache_home != nullptr && cache_home[0] == '/')
        base = cache_home;
    else if (home != nullptr && home[0] == '/')
        base = std::string(home) + "/.cache";
    file.clear();
    if (base.empty())
        return errno = ENOENT, false;
    file = base + "/lodrix/readings.sqlite";
    for (const std::string &folder : {base, base + "/lodrix"})
        if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
            return false;
    return true;
}

bool make_private_file(const std::string &file) {
    int fd = open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOCTTY, 0600);
    if (fd < 0)
        return false;
    close(fd);
    return true;
}

// The kernel's numbers for the file systems (statfs's f_type).
static const unsigned long msdos_magic = 0x4d44, exfat_magic = 0x2011bab0, fuse_magic = 0x65735546,
                           smb_magic = 0x517b, cifs_magic = 0xff534d42, smb2_magic = 0xfe534d42;

ChangeTimes change_times(const std::string &path) {
    struct statfs status;
    if (statfs(path.c_str(), &status) != 0)
        return ChangeTimes::real;
    switch ((unsigned long)status.f_type & 0xffffffff) {
    case msdos_magic:
    case exfat_magic:
        return ChangeTimes::absent;
    case fuse_magic: // fuse and fuseblk alike: exfat-fuse, sshfs, ntfs-3g
    case smb_magic:
    case cifs_magic:
    case smb2_magic:
        return ChangeTimes::reported;
    default:
        return ChangeTimes::real;
    }
}

std::string system_error_text(int error) { return error != 0 ? strerror(error) : ""; }

// SQLite's own VFS, but for the WAL index, which it maps shared from the "-shm" file: that
// mapping is not passed on to a forked process, so a reader that a file has taken over
// cannot write into the index (and through it into the database) of this run or a later one.
namespace {
sqlite3_vfs *system_vfs;
sqlite3_vfs fork_safe;
std::mutex methods_mutex;
const sqlite3_io_methods *system_methods;
sqlite3_io_methods fork_safe_methods;

int map_shared_memory(sqlite3_file *file, int region, int size, int extend, void volatile **memory) {
    int result = system_methods->xShmMap(file, region, size, extend, memory);
    // The unix VFS maps each region from the file (its heap fallback belongs to "unix-excl").
    if (result == SQLITE_OK && *memory != nullptr && madvise((void *)*memory, size_t(size), MADV_DONTFORK) != 0)
        result = SQLITE_IOERR_SHMMAP;
    return result;
}

int open_file(sqlite3_vfs *, const char *name, sqlite3_file *file, int flags, int *opened_flags) {
    int result = system_vfs->xOpen(system_vfs, name, file, flags, opened_flags);
    if (result != SQLITE_OK || !(flags & SQLITE_OPEN_MAIN_DB) || file->pMethods == nullptr ||
        file->pMethods->iVersion < 2)
        return result;
    std::lock_guard<std::mutex> lock(methods_mutex);
    if (system_methods == nullptr) {
        system_methods = file->pMethods;
        fork_safe_methods = *system_methods;
        fork_safe_methods.xShmMap = map_shared_memory;
    }
    if (file->pMethods != system_methods) {
        file->pMethods->xClose(file);
        file->pMethods = nullptr;
        return SQLITE_CANTOPEN;
    }
    file->pMethods = &fork_safe_methods;
    return result;
}
} // namespace

const char *fork_safe_vfs() {
    static std::once_flag registered;
    static bool usable = false;
    std::call_once(registered, [] {
        system_vfs = sqlite3_vfs_find(nullptr);
        if (system_vfs == nullptr)
            return;
        fork_safe = *system_vfs;
        fork_safe.zName = "lodrix-fork-safe";
        fork_safe.pNext = nullptr;
        fork_safe.xOpen = open_file;
        usable = sqlite3_vfs_register(&fork_safe, 0) == SQLITE_OK;
    });
    return usable ? fork_safe.zName : "";
}
