#include "lodrix-playlist/lib/readers/sandbox.h"

#include <errno.h>
#include <fcntl.h>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <vector>

// The data the process holds already (the forked program's heap), in bytes: VmData, which is
// what RLIMIT_DATA counts.
static size_t data_size() {
    char status[4096];
    int fd = open("/proc/self/status", O_RDONLY | O_CLOEXEC);
    ssize_t got = fd >= 0 ? read(fd, status, sizeof status - 1) : -1;
    if (fd >= 0)
        close(fd);
    if (got <= 0)
        return 0;
    status[got] = '\0';
    const char *line = strstr(status, "\nVmData:");
    return line ? size_t(strtoull(line + 8, nullptr, 10)) * 1024 : 0;
}

bool limit_resources(size_t budget) {
    size_t held = data_size();
    if (held == 0)
        return errno = ENOENT, false;
    const struct {
        int resource;
        rlim_t limit;
    } limits[] = {
        {RLIMIT_DATA, held + budget},
        {RLIMIT_CORE, 0},
        {RLIMIT_FSIZE, 0},
        // The channel, the files of one request message (four), and room for what the C
        // library keeps open.
        {RLIMIT_NOFILE, 8},
    };
    for (const auto &limit : limits) {
        struct rlimit value = {limit.limit, limit.limit};
        if (setrlimit(limit.resource, &value) != 0)
            return false;
    }
    return true;
}

// Landlock, whatever version the kernel has: every right it knows is handled and none is
// granted, so no path can be opened, made, removed or executed; from version 4 on no TCP
// port bound or connected, from 6 on no signal sent or abstract socket reached outside.
static bool deny_all_access() {
    struct {
        uint64_t file_system, network, scoped;
    } ruleset = {};
    long version = syscall(SYS_landlock_create_ruleset, nullptr, 0, 1 /* LANDLOCK_CREATE_RULESET_VERSION */);
    if (version < 1)
        return errno == ENOSYS || errno == EOPNOTSUPP; // no Landlock: seccomp still holds
    const int file_rights_by_version[] = {13, 14, 15, 15, 16}; // versions 1 to 5 and later
    ruleset.file_system = (uint64_t(1) << file_rights_by_version[version < 5 ? version - 1 : 4]) - 1;
    size_t size = sizeof ruleset.file_system;
    if (version >= 4) {
        ruleset.network = 3; // bind and connect TCP
        size += sizeof ruleset.network;
    }
    if (version >= 6) {
        ruleset.scoped = 3; // abstract UNIX sockets and signals
        size += sizeof ruleset.scoped;
    }
    int fd = int(syscall(SYS_landlock_create_ruleset, &ruleset, size, 0));
    if (fd < 0)
        return false;
    bool restricted = syscall(SYS_landlock_restrict_self, fd, 0) == 0;
    close(fd);
    return restricted;
}

#if defined(__x86_64__)
static const uint32_t this_architecture = AUDIT_ARCH_X86_64;
#elif defined(__aarch64__)
static const uint32_t this_architecture = AUDIT_ARCH_AARCH64;
#else
#error "the reader's system call filter does not know this architecture"
#endif

static const uint32_t refuse = SECCOMP_RET_ERRNO | EPERM;

// A system call allowed as it is: two instructions.
static void allow(std::vector<sock_filter> &filter, long number) {
    filter.push_back(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, uint32_t(number), 0, 1));
    filter.push_back(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW));
}

// A system call allowed only where the low word of argument index, masked, equals value.
static void allow_where(std::vector<sock_filter> &filter, long number, int index, uint32_t mask, uint32_t value) {
    filter.push_back(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, uint32_t(number), 0, 5));
    filter.push_back(BPF_STMT(BPF_LD | BPF_W | BPF_ABS, uint32_t(offsetof(seccomp_data, args) + 8 * index)));
    filter.push_back(BPF_STMT(BPF_ALU | BPF_AND | BPF_K, mask));
    filter.push_back(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, value, 0, 1));
    filter.push_back(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW));
    filter.push_back(BPF_STMT(BPF_RET | BPF_K, refuse));
}

static bool allow_only_reading(int channel) {
    std::vector<sock_filter> filter = {
        // Another architecture's (or x32's) numbers mean other calls: end the process.
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, this_architecture, 1, 0),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_KILL_PROCESS),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JGE | BPF_K, 0x40000000, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_KILL_PROCESS),
    };
    // Reading the file it was handed: at a position, and what the C library does around it.
    for (long number : {SYS_read, SYS_pread64, SYS_readv, SYS_preadv, SYS_lseek, SYS_fstat, SYS_close})
        allow(filter, number);
    // fstat as the C library makes it: of a descriptor, never of a path.
    allow_where(filter, SYS_newfstatat, 3, ~0u, AT_EMPTY_PATH);
    // Memory: the heap and mappings, never executable ones (no code of the file's making).
    for (long number : {SYS_brk, SYS_munmap, SYS_mremap, SYS_madvise})
        allow(filter, number);
    allow_where(filter, SYS_mmap, 2, PROT_EXEC, 0);
    allow_where(filter, SYS_mprotect, 2, PROT_EXEC, 0);
    // Locks, time and the end of the process.
    for (long number : {SYS_futex, SYS_clock_gettime, SYS_gettimeofday, SYS_clock_nanosleep, SYS_sched_yield,
                        SYS_getrandom, SYS_rt_sigreturn, SYS_exit, SYS_exit_group})
        allow(filter, number);
    // What the C library and the sanitizers ask of their own process: its ids, signal mask
    // and signal stack; and its use of the processor.
    for (long number : {SYS_getpid, SYS_gettid, SYS_rt_sigprocmask, SYS_sigaltstack})
        allow(filter, number);
    // Requests and answers over its own channel, and over no other descriptor.
    allow_where(filter, SYS_recvmsg, 0, ~0u, uint32_t(channel));
    allow_where(filter, SYS_sendmsg, 0, ~0u, uint32_t(channel));
    // Anything else (open, exec, socket, fork, kill, ptrace, write, ...) fails.
    filter.push_back(BPF_STMT(BPF_RET | BPF_K, refuse));
    sock_fprog program = {(unsigned short)filter.size(), filter.data()};
    return prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) == 0;
}

bool enter_sandbox(int channel) {
    return prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 && prctl(PR_SET_DUMPABLE, 0) == 0 && deny_all_access() &&
           allow_only_reading(channel);
}
