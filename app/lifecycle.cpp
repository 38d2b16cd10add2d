#include "app/lifecycle.h"

#include <cstdlib>

#include "app/preferences.h"
#include "serial/seriallink.h"

namespace {
std::function<void(int)>& ProcessExit() {
    static std::function<void(int)> exitFunction = [](int status) { std::exit(status); };
    return exitFunction;
}
}  // namespace

void SetProcessExit(std::function<void(int)> exitFunction) {
    ProcessExit() = std::move(exitFunction);
}

void ExitProcedure() {
    RememberWindow();
    Link().ClosePort();
    ProcessExit()(1);
}
