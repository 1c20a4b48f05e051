// A child for the launcher's tests. It appends one line to "children.log" in its current
// directory: its command line as it received it, the times it started and ended (milliseconds
// since the system started), tab-separated. It runs for 300 ms, so that children run together
// would overlap. A child whose file name holds "quit" first posts WM_QUIT 77 to its parent.
#include <windows.h>

#include <tlhelp32.h>

#include <cstdio>
#include <cstring>

namespace {

// Posts WM_QUIT 77 to every thread of this process's parent.
void PostQuitToParent()
{
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS | TH32CS_SNAPTHREAD, 0);
    PROCESSENTRY32 process = {};
    process.dwSize = sizeof(process);
    DWORD parent = 0;
    for (BOOL more = Process32First(snapshot, &process); more;
         more = Process32Next(snapshot, &process)) {
        if (process.th32ProcessID == GetCurrentProcessId()) {
            parent = process.th32ParentProcessID;
        }
    }
    THREADENTRY32 thread = {};
    thread.dwSize = sizeof(thread);
    for (BOOL more = Thread32First(snapshot, &thread); more;
         more = Thread32Next(snapshot, &thread)) {
        if (thread.th32OwnerProcessID == parent) {
            PostThreadMessageA(thread.th32ThreadID, WM_QUIT, 77, 0);
        }
    }
    CloseHandle(snapshot);
}

}  // namespace

int main()
{
    const unsigned long long started = GetTickCount64();
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
    std::fprintf(log, "%s\t%llu\t%llu\n", GetCommandLineA(), started, GetTickCount64());
    std::fclose(log);
    return 0;
}
