#include "app/lifecycle.h"

#include <QCoreApplication>
#include <cstdlib>

#include "app/preferences.h"
#include "core/terminationsignals.h"
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

void ExitOnTerminationSignals() {
    auto* watcher = new TerminationSignals(QCoreApplication::instance());
    QObject::connect(watcher, &TerminationSignals::arrived, watcher, [] { ExitProcedure(); });
}
