#include "core/terminationsignals.h"

#include <QSocketNotifier>
#include <csignal>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace {

#ifdef Q_OS_UNIX
constexpr int Handled[] = {SIGINT, SIGTERM, SIGHUP};
// The handler's only way out: a byte per signal into a pipe the event loop watches.
int wakePipe[2] = {-1, -1};
volatile std::sig_atomic_t firstSignal = 0;

void OnSignal(int signal) {
    if (firstSignal == 0) firstSignal = signal;
    const int saved = errno;
    const auto byte = static_cast<unsigned char>(signal);
    [[maybe_unused]] const ssize_t written = write(wakePipe[1], &byte, 1);
    errno = saved;
}

void SetHandler(void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : Handled) sigaction(signal, &action, nullptr);
}
#endif

}  // namespace

TerminationSignals::TerminationSignals(QObject* parent) : QObject(parent) {
#ifdef Q_OS_UNIX
    if (pipe2(wakePipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    notifier_ = new QSocketNotifier(wakePipe[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &TerminationSignals::takeArrivals);
    SetHandler(OnSignal);
#endif
}

TerminationSignals::~TerminationSignals() {
#ifdef Q_OS_UNIX
    if (!notifier_) return;
    SetHandler(SIG_DFL);
    delete notifier_;
    close(wakePipe[0]);
    close(wakePipe[1]);
    wakePipe[0] = wakePipe[1] = -1;
#endif
}

int TerminationSignals::first() {
#ifdef Q_OS_UNIX
    return firstSignal;
#else
    return 0;
#endif
}

void TerminationSignals::takeArrivals() {
#ifdef Q_OS_UNIX
    unsigned char byte = 0;
    while (read(wakePipe[0], &byte, 1) == 1) emit arrived(byte);
#endif
}
