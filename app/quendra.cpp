// Program entry: the single-instance guard, then the application and its main form.

#include <windows.h>

#include "application.h"
#include "globals.h"
#include "handles.h"
#include "last_chance.h"
#include "mutex_name.h"
#include "program_dir.h"
#include "unit1.h"

namespace {

constexpr char kTitle[] = "Quendra";

int RunQuendra() {
    using namespace quendra;
    MutexName = MutexNameFor(ProgramDirectory());
    // Only the existence of the named object matters: it is held, never waited on,
    // until the process ends. A failed creation leaves the program unguarded.
    const winapp::TObjectHandle guard(CreateMutexA(nullptr, TRUE, MutexName.c_str()));
    if (guard.Valid() && GetLastError() == ERROR_ALREADY_EXISTS)
        return 0;

    winapp::TApplication application;
    application.SetTitle(kTitle);
    application.CreateForm(Form1);
    application.Run();
    return 0;
}

} // namespace

// Command-line arguments are ignored.
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    return winapp::RunWithLastChanceHandler(RunQuendra);
}
