#include "last_chance.h"

#include <windows.h>

#include <string>

#include "exception.h"
#include "full_stop.h"

namespace winapp {

namespace {

void ShowApplicationError(const std::string& className, const std::string& message) {
    const std::string text = "Exception " + className + ": " + WithFullStop(message);
    MessageBoxA(nullptr, text.c_str(), "Application Error", MB_OK | MB_ICONSTOP | MB_TASKMODAL);
}

} // namespace

int RunWithLastChanceHandler(const std::function<int()>& body) {
    try {
        return body();
    } catch (const Exception& e) {
        ShowApplicationError(e.ClassName(), e.Message());
    } catch (const std::exception& e) {
        ShowApplicationError("std::exception", e.what());
    }
    return 1;
}

} // namespace winapp
