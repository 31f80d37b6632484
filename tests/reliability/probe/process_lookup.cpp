#include "process_lookup.h"

#include <tlhelp32.h>

#include "handles.h"

namespace probe {

namespace {

std::string FileNameOf(const std::string& path) {
    const size_t cut = path.find_last_of("\\/:");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

bool SamePath(const std::string& a, const std::string& b) {
    return lstrcmpiA(a.c_str(), b.c_str()) == 0;
}

// The full path of a process's program file: its first module.
std::string ProgramPathOf(DWORD processId) {
    const winapp::TFileHandle modules(CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, processId));
    if (!modules.Valid())
        return "";
    MODULEENTRY32 module{};
    module.dwSize = sizeof module;
    return Module32First(modules.Get(), &module) ? module.szExePath : "";
}

} // namespace

DWORD FindProcessByPath(const std::string& exePath) {
    const winapp::TFileHandle processes(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!processes.Valid())
        return 0;
    const std::string fileName = FileNameOf(exePath);
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(processes.Get(), &entry); more;
         more = Process32Next(processes.Get(), &entry)) {
        if (SamePath(FileNameOf(entry.szExeFile), fileName) &&
            SamePath(ProgramPathOf(entry.th32ProcessID), exePath))
            return entry.th32ProcessID;
    }
    return 0;
}

} // namespace probe
