#pragma once
// Starting and ending copies of the real quendra.exe.

#include <windows.h>

#include <string>

#include "handles.h"

namespace testsupport {

// The Windows path of a program given to the test by its Linux path (Wine maps / to Z:).
std::string WindowsPath(const std::string& path);

// The top-level window of the given class that belongs to the process, or null.
HWND FindProcessWindow(DWORD processId, const char* className, bool visibleOnly = false);

// The path of quendra.exe, given to the test binary as its first argument.
const std::string& QuendraExe();
void SetQuendraExe(const std::string& path);

class QuendraProcess {
public:
    // Starts `exe` with `dir` as its working directory; an empty `dir` leaves the test's.
    explicit QuendraProcess(const std::string& exe, const std::string& workingDir = "",
                            HANDLE stdOutput = nullptr);
    ~QuendraProcess();
    QuendraProcess(const QuendraProcess&) = delete;
    QuendraProcess& operator=(const QuendraProcess&) = delete;

    bool Started() const { return FProcess.Valid(); }
    DWORD Id() const { return FId; }
    bool Running() const;
    // Waits until the program's application window exists; false if it ended or took too long.
    bool WaitUntilUp(DWORD timeoutMs = 10000) const;
    // Waits for the end; returns the exit code, or STILL_ACTIVE after the timeout.
    DWORD WaitForExit(DWORD timeoutMs);
    // The top-level window of the given class that belongs to this process, or null.
    HWND FindWindowOfClass(const char* className) const;
    // Asks the program to end as the Close command of its task-bar button does.
    bool PostClose() const;

private:
    winapp::TObjectHandle FProcess;
    DWORD FId = 0;
};

} // namespace testsupport
