// A child for the launcher's tests. It appends one line to "children.log" in
// its current directory: its command line as it received it, the time it
// started and the time it ended (milliseconds), tab-separated. It runs for
// 300 ms, so that children run together would overlap. A child whose file name
// holds "quit" first posts WM_QUIT with wParam 77 to its parent's threads.
#include <windows.h>

#include <tlhelp32.h>

#include <cstdio>
#include <cstring>

namespace {

unsigned long long NowMs()
{
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return ((static_cast<unsigned long long>(now.dwHighDateTime) << 32) | now.dwLowDateTime) /
           10000;
}

DWORD ParentProcessId()
{
    DWORD parent = 0;
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32First(snapshot, &entry); more;
         more = Process32Next(snapshot, &entry)) {
        if (entry.th32ProcessID == GetCurrentProcessId()) {
            parent = entry.th32ParentProcessID;
        }
    }
    CloseHandle(snapshot);
    return parent;
}

void PostQuitToParent()
{
    const DWORD parent = ParentProcessId();
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID == parent) {
            PostThreadMessageA(entry.th32ThreadID, WM_QUIT, 77, 0);
        }
    }
    CloseHandle(snapshot);
}

}  // namespace

int main()
{
    const unsigned long long started = NowMs();
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    if (std::strstr(self, "quit") != nullptr) {
        PostQuitToParent();
    }
    Sleep(300);
    FILE* log = std::fopen("children.log", "ab");
    if (log == nullptr) {
        return 1;
    }
    std::fprintf(log, "%s\t%llu\t%llu\n", GetCommandLineA(), started, NowMs());
    std::fclose(log);
    return 0;
}
