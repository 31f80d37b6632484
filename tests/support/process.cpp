#include "process.h"

#include <vector>

namespace testsupport {

namespace {

std::string gQuendraExe;

struct WindowSearch {
    DWORD processId;
    const char* className;
    bool visibleOnly;
    HWND found;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<WindowSearch*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    char name[64] = {};
    GetClassNameA(window, name, sizeof name);
    if (owner == search->processId && lstrcmpA(name, search->className) == 0 &&
        (!search->visibleOnly || IsWindowVisible(window))) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

} // namespace

std::string WindowsPath(const std::string& path) {
    if (path.empty() || path[0] != '/')
        return path;
    std::string windows = "Z:" + path;
    for (char& c : windows)
        if (c == '/')
            c = '\\';
    return windows;
}

HWND FindProcessWindow(DWORD processId, const char* className, bool visibleOnly) {
    WindowSearch search{processId, className, visibleOnly, nullptr};
    EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

const std::string& QuendraExe() { return gQuendraExe; }
void SetQuendraExe(const std::string& path) { gQuendraExe = WindowsPath(path); }

QuendraProcess::QuendraProcess(const std::string& exe, const std::string& workingDir, HANDLE stdOutput) {
    STARTUPINFOA si{};
    si.cb = sizeof si;
    if (stdOutput != nullptr) {
        si.dwFlags = STARTF_USESTDHANDLES;
        si.hStdInput = nullptr;
        si.hStdOutput = stdOutput;
        si.hStdError = nullptr;
    }
    PROCESS_INFORMATION pi{};
    std::vector<char> commandLine(exe.begin(), exe.end());
    commandLine.insert(commandLine.begin(), '"');
    commandLine.push_back('"');
    commandLine.push_back('\0');
    if (CreateProcessA(exe.c_str(), commandLine.data(), nullptr, nullptr, stdOutput != nullptr, 0,
                       nullptr, workingDir.empty() ? nullptr : workingDir.c_str(), &si, &pi)) {
        CloseHandle(pi.hThread);
        FProcess = winapp::TObjectHandle(pi.hProcess);
        FId = pi.dwProcessId;
    }
}

QuendraProcess::~QuendraProcess() {
    if (Running()) {
        PostClose();
        if (WaitForExit(5000) == STILL_ACTIVE)
            TerminateProcess(FProcess.Get(), 99);
    }
}

bool QuendraProcess::Running() const {
    return FProcess.Valid() && WaitForSingleObject(FProcess.Get(), 0) == WAIT_TIMEOUT;
}

bool QuendraProcess::WaitUntilUp(DWORD timeoutMs) const {
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < timeoutMs) {
        if (FindWindowOfClass("TApplication") != nullptr)
            return true;
        if (!Running())
            return false;
        Sleep(20);
    }
    return false;
}

DWORD QuendraProcess::WaitForExit(DWORD timeoutMs) {
    if (!FProcess.Valid())
        return STILL_ACTIVE;
    if (WaitForSingleObject(FProcess.Get(), timeoutMs) != WAIT_OBJECT_0)
        return STILL_ACTIVE;
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(FProcess.Get(), &code);
    return code;
}

HWND QuendraProcess::FindWindowOfClass(const char* className) const {
    return FindProcessWindow(FId, className);
}

bool QuendraProcess::PostClose() const {
    HWND application = FindWindowOfClass("TApplication");
    return application != nullptr && PostMessageA(application, WM_CLOSE, 0, 0);
}

} // namespace testsupport
