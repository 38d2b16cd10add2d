// A station that takes IDs: opens the records at LOCATION, says "ready", waits for a line on
// its input (so that several start allocating at the same moment), then takes COUNT IDs from
// RANGE one after the other and prints each.
// Usage: allocate_ids LOCATION RANGE COUNT STATION

#include <unistd.h>
#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>
#include <cstdio>

#include "records/recordstore.h"

namespace {

constexpr int GiveUpMs = 60000;

int Fail(const QString& why) {
    std::fprintf(stderr, "allocate_ids: %s\n", qPrintable(why));
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const std::optional<IdRange> range = args.size() == 5 ? ParseIdRange(args[2]) : std::nullopt;
    const int count = args.value(3).toInt();
    if (!range || count < 1) return Fail("usage: allocate_ids LOCATION RANGE COUNT STATION");
    RecordStore store;
    int status = 0;
    int left = count;
    std::function<void()> next = [&] {
        store.allocateId(*range, args[4], [&](const IdAllocation& allocation) {
            if (!allocation.id) {
                status = Fail(QStringLiteral("no ID: %1").arg(allocation.detail));
                app.quit();
                return;
            }
            std::printf("%s\n", qPrintable(*allocation.id));
            if (--left == 0) {
                app.quit();
            } else {
                next();
            }
        });
    };
    QSocketNotifier go(STDIN_FILENO, QSocketNotifier::Read);
    go.setEnabled(false);
    QObject::connect(&go, &QSocketNotifier::activated, [&] {
        go.setEnabled(false);
        next();
    });
    RecordStoreSettings settings;
    settings.location = args[1];
    store.open(settings, [&](const StoreOpening& opening) {
        if (opening.failure != StoreOpening::Failure::None) {
            status = Fail(QStringLiteral("not opened: %1").arg(opening.detail));
            app.quit();
            return;
        }
        std::printf("ready\n");
        std::fflush(stdout);
        go.setEnabled(true);
    });
    QTimer::singleShot(GiveUpMs, &app, [&] {
        status = Fail("did not finish in time");
        app.quit();
    });
    app.exec();
    std::fflush(stdout);
    return status;
}
