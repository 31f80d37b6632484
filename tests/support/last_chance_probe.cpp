// A program whose start-up fails with the framework's exception, for the test of the
// last-chance handler.

#include <windows.h>

#include "exception.h"
#include "last_chance.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    return winapp::RunWithLastChanceHandler(
        []() -> int { throw winapp::Exception("Can not start socket session"); });
}
