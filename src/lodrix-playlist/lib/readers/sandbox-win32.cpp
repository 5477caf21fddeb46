#include "lodrix-playlist/lib/readers/sandbox.h"

#include <errno.h>
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "lodrix-playlist/lib/system/system.h"

// A handle closed however the function that holds it ends.
struct Held {
    HANDLE handle = nullptr;
    ~Held() {
        if (handle != nullptr)
            CloseHandle(handle);
    }
};

static bool failed() {
    errno = errno_of_windows_error(GetLastError());
    return false;
}

static std::unique_ptr<char[]> token_information(HANDLE token, TOKEN_INFORMATION_CLASS kind) {
    DWORD size = 0;
    GetTokenInformation(token, kind, nullptr, 0, &size);
    std::unique_ptr<char[]> information(new char[size > 0 ? size : 1]);
    if (size == 0 || !GetTokenInformation(token, kind, information.get(), size, &size))
        return nullptr;
    return information;
}

// Low integrity: nothing of higher integrity (the user's files, other programs) can be written.
static bool lower_integrity(HANDLE token) {
    BYTE low[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof low;
    if (!CreateWellKnownSid(WinLowLabelSid, nullptr, low, &size))
        return false;
    TOKEN_MANDATORY_LABEL label = {{low, SE_GROUP_INTEGRITY}};
    return SetTokenInformation(token, TokenIntegrityLevel, &label, sizeof label + GetLengthSid(low));
}

// The reader's two tokens, both restricted, without privileges, of low integrity. The one it
// reads under grants nothing: the user and every group (but the logon session's) only deny, and
// access is checked against the null SID as well, which nothing grants anything to. The one its
// first thread starts under grants what the user may (checked against the user's own SIDs), so
// that Windows can load the program's libraries; the reader drops it before it reads.
static bool make_tokens(Held &reading, Held &starting) {
    Held own, restricted;
    if (!OpenProcessToken(GetCurrentProcess(),
                          TOKEN_DUPLICATE | TOKEN_QUERY | TOKEN_ASSIGN_PRIMARY | TOKEN_ADJUST_DEFAULT | TOKEN_IMPERSONATE,
                          &own.handle))
        return false;
    std::unique_ptr<char[]> user = token_information(own.handle, TokenUser);
    std::unique_ptr<char[]> groups = token_information(own.handle, TokenGroups);
    BYTE null_sid[SECURITY_MAX_SID_SIZE];
    DWORD null_size = sizeof null_sid;
    if (user == nullptr || groups == nullptr || !CreateWellKnownSid(WinNullSid, nullptr, null_sid, &null_size))
        return false;
    SID_AND_ATTRIBUTES user_sid = {((TOKEN_USER *)user.get())->User.Sid, 0};
    std::vector<SID_AND_ATTRIBUTES> denied = {user_sid}, own_sids = {user_sid};
    const TOKEN_GROUPS &list = *(const TOKEN_GROUPS *)groups.get();
    for (DWORD i = 0; i < list.GroupCount; ++i) {
        if (list.Groups[i].Attributes & SE_GROUP_INTEGRITY)
            continue;
        own_sids.push_back({list.Groups[i].Sid, 0});
        if (!(list.Groups[i].Attributes & SE_GROUP_LOGON_ID))
            denied.push_back({list.Groups[i].Sid, 0});
    }
    SID_AND_ATTRIBUTES nobody = {null_sid, 0};
    return CreateRestrictedToken(own.handle, DISABLE_MAX_PRIVILEGE, DWORD(denied.size()), denied.data(), 0, nullptr,
                                 1, &nobody, &reading.handle) &&
           CreateRestrictedToken(own.handle, DISABLE_MAX_PRIVILEGE, 0, nullptr, 0, nullptr, DWORD(own_sids.size()),
                                 own_sids.data(), &restricted.handle) &&
           DuplicateTokenEx(restricted.handle, TOKEN_IMPERSONATE | TOKEN_QUERY | TOKEN_ADJUST_DEFAULT, nullptr,
                            SecurityImpersonation, TokenImpersonation, &starting.handle) &&
           lower_integrity(reading.handle) && lower_integrity(starting.handle);
}

static std::wstring own_program() {
    std::wstring program(MAX_PATH, L'\0');
    for (;;) {
        DWORD length = GetModuleFileNameW(nullptr, &program[0], DWORD(program.size()));
        if (length == 0)
            return L"";
        if (length < program.size())
            return program.substr(0, length);
        program.resize(program.size() * 2);
    }
}

bool start_sandboxed(const std::wstring &arguments, void *const *handles, size_t count, size_t budget,
                     SandboxedProcess &started) {
    started = {};
    Held reading, starting;
    std::wstring program = own_program();
    if (program.empty() || !make_tokens(reading, starting))
        return failed();
    // Only the handles given are inherited, whatever else is inheritable.
    SIZE_T size = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    std::unique_ptr<char[]> attributes(new char[size]);
    auto list = LPPROC_THREAD_ATTRIBUTE_LIST(attributes.get());
    if (!InitializeProcThreadAttributeList(list, 1, 0, &size))
        return failed();
    bool listed = UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, (void *)handles,
                                            count * sizeof(HANDLE), nullptr, nullptr);
    STARTUPINFOEXW startup = {};
    startup.StartupInfo.cb = sizeof startup;
    startup.lpAttributeList = list;
    std::wstring line = L"\"" + program + L"\" " + arguments;
    PROCESS_INFORMATION made = {};
    bool created = listed && CreateProcessAsUserW(reading.handle, program.c_str(), &line[0], nullptr, nullptr, TRUE,
                                                  CREATE_SUSPENDED | DETACHED_PROCESS | EXTENDED_STARTUPINFO_PRESENT,
                                                  nullptr, nullptr, &startup.StartupInfo, &made);
    DeleteProcThreadAttributeList(list);
    if (!created)
        return failed();
    Held thread = {made.hThread};
    // An unhandled exception ends the process at once: no report, no dialog that waits.
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE | JOB_OBJECT_LIMIT_ACTIVE_PROCESS |
                                              JOB_OBJECT_LIMIT_PROCESS_MEMORY |
                                              JOB_OBJECT_LIMIT_DIE_ON_UNHANDLED_EXCEPTION;
    limits.BasicLimitInformation.ActiveProcessLimit = 1;
    limits.ProcessMemoryLimit = budget;
    HANDLE job = CreateJobObjectW(nullptr, nullptr);
    if (job == nullptr || !SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits) ||
        !AssignProcessToJobObject(job, made.hProcess) || !SetThreadToken(&thread.handle, starting.handle) ||
        ResumeThread(thread.handle) == DWORD(-1)) {
        failed();
        int error = errno;
        TerminateProcess(made.hProcess, 1);
        WaitForSingleObject(made.hProcess, INFINITE);
        CloseHandle(made.hProcess);
        if (job != nullptr)
            CloseHandle(job);
        errno = error;
        return false;
    }
    started = {made.hProcess, job, made.dwProcessId};
    return true;
}

// The thread drops the token it started under: from here on the process has its own only.
bool enter_sandbox(int) {
    if (!RevertToSelf())
        return failed();
    HANDLE token;
    if (OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &token)) {
        CloseHandle(token);
        errno = EPERM;
        return false;
    }
    return true;
}
