// relay_probe: the Windows side of the reliability and client tests. The tests run on
// Linux and drive this program through its standard input, one command a line, and read
// one answer a line ("ok ..." or "error ..."). What only a Wine process can do lives
// here: finding the relay's windows and message boxes, asking it to close as its menu
// does, reading its priority class, and holding a file open without sharing writes
// (share modes live in the Wine server, so a Linux lock would not be seen).
//
//   find <exe>      ok <pid> | error none
//   windows <exe>   ok <total> <utility windows> <shown windows> <message boxes>
//                   [<text> | <text> ...]
//   dismiss <exe>   ok <message boxes pressed>
//   close <exe>     ok | error ...   (WM_CLOSE to the application window)
//   ping <exe>      ok | error ...   (answered once its GUI thread handles messages)
//   priority <exe>  ok <priority class in hex>
//   lock <path>     ok | error <code>  (read access, readers alone may share)
//   unlock          ok
//   quit

#include <windows.h>

#include <cstdio>
#include <iostream>
#include <string>

#include "handles.h"
#include "process_lookup.h"
#include "process_windows.h"

namespace {

constexpr char kApplicationClass[] = "TApplication";
constexpr UINT kPingTimeoutMs = 20000;

void Answer(const std::string& line) {
    std::cout << line << '\n' << std::flush;
}

std::string OneLine(std::string text) {
    for (char& c : text)
        if (c == '\r' || c == '\n')
            c = ' ';
    return text;
}

std::string HandleWindows(DWORD pid) {
    const probe::WindowCensus census = probe::TakeWindowCensus(pid);
    std::string answer = "ok " + std::to_string(census.total) + " " +
                         std::to_string(census.utility) + " " + std::to_string(census.visible) +
                         " " + std::to_string(census.boxTexts.size());
    for (size_t i = 0; i < census.boxTexts.size(); ++i)
        answer += (i == 0 ? " " : " | ") + OneLine(census.boxTexts[i]);
    return answer;
}

std::string HandlePriority(DWORD pid) {
    const winapp::TObjectHandle process(OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, pid));
    if (!process.Valid())
        return "error open " + std::to_string(GetLastError());
    char hex[16];
    std::snprintf(hex, sizeof hex, "%lx",
                  static_cast<unsigned long>(GetPriorityClass(process.Get())));
    return std::string("ok ") + hex;
}

class Prober {
  public:
    // Returns false when the session ends.
    bool Handle(const std::string& line) {
        const size_t space = line.find(' ');
        const std::string command = line.substr(0, space);
        const std::string argument = space == std::string::npos ? "" : line.substr(space + 1);
        if (command == "quit")
            return false;
        if (command == "lock")
            Answer(Lock(argument));
        else if (command == "unlock") {
            FLocked.Reset();
            Answer("ok");
        } else if (command == "find" || command == "windows" || command == "dismiss" ||
                   command == "close" || command == "ping" || command == "priority")
            Answer(OnProcess(command, argument));
        else
            Answer("error unknown command");
        return true;
    }

  private:
    std::string Lock(const std::string& path) {
        FLocked =
            winapp::TFileHandle(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        return FLocked.Valid() ? "ok" : "error " + std::to_string(GetLastError());
    }

    static std::string OnProcess(const std::string& command, const std::string& exe) {
        const DWORD pid = probe::FindProcessByPath(exe);
        if (pid == 0)
            return "error none";
        if (command == "find")
            return "ok " + std::to_string(pid);
        if (command == "windows")
            return HandleWindows(pid);
        if (command == "dismiss")
            return "ok " + std::to_string(probe::DismissMessageBoxes(pid));
        if (command == "close")
            return probe::PostCloseTo(pid, kApplicationClass) ? "ok"
                                                              : "error no application window";
        if (command == "ping")
            return probe::PingWindowOf(pid, kApplicationClass, kPingTimeoutMs) ? "ok"
                                                                               : "error no answer";
        return HandlePriority(pid);
    }

    winapp::TFileHandle FLocked;
};

} // namespace

int main() {
    Prober prober;
    std::string line;
    while (std::getline(std::cin, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!prober.Handle(line))
            break;
    }
    return 0;
}
