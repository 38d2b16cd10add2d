#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include "datatest/filesend.h"
#include "serial/seriallink.h"
#include "tests/support/fakeserialdevice.h"
#include "tests/support/files.h"

// Sending a file through the send queue of a fake port whose driver takes what the test lets
// it take.
class TestFileSend : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    std::shared_ptr<DeviceJournal> journal_;
    FakeSerialDevice* fake_ = nullptr;
    std::unique_ptr<SerialLink> link_;
    bool portTaken_ = false;
    int64_t nowMs_ = 0;
    int64_t mostQueued_ = 0;
    std::unique_ptr<FileSend> send_;

    QString fileOf(const QByteArray& bytes) {
        const QString path = dir_.filePath(QStringLiteral("file.bin"));
        if (!WriteFile(path, bytes)) qFatal("cannot write the test file");
        return path;
    }

    static QByteArray RandomBytes(qsizetype n) {
        QByteArray bytes(n, Qt::Uninitialized);
        QRandomGenerator generator(7);
        for (char& byte : bytes) byte = static_cast<char>(generator.bounded(256));
        return bytes;
    }

    // Ticks, the driver taking `perTick` bytes after each, until the send ends; the state it
    // ended in, or Sending after maxTicks.
    FileSendState runSend(int64_t perTick, int maxTicks = 10000) {
        for (int i = 0; i < maxTicks; ++i) {
            const FileSendState state = send_->tick();
            if (state != FileSendState::Sending) return state;
            mostQueued_ = std::max(mostQueued_, fake_->bytesToWrite());
            fake_->release(perTick);
            nowMs_ += 20;
        }
        return FileSendState::Sending;
    }

    // Half a second at 115200 bit/s.
    static int64_t queueLimit() { return 115200 / 10 / 2; }

  private slots:
    void init() {
        journal_ = std::make_shared<DeviceJournal>();
        link_ = std::make_unique<SerialLink>(FakeOpener(journal_, &fake_));
        QVERIFY(link_->OpenPortByName(QStringLiteral("fake")));
        QVERIFY(link_->ApplyPortSettings({8, 0}));
        fake_->holdSending(true);
        portTaken_ = false;
        nowMs_ = 0;
        mostQueued_ = 0;
        send_ = std::make_unique<FileSend>(
            *link_, [this] { return portTaken_; }, [this] { return nowMs_; });
    }

    // Every byte in order, however the queue is filled, each counted as user data once the
    // driver took it; never more than half a second of the line waits in the queue.
    void sendsTheFileWhole_data() {
        QTest::addColumn<int64_t>("capacity");
        QTest::newRow("queue with room") << int64_t(1 << 20);
        QTest::newRow("queue that takes 1000 bytes at a time") << int64_t(1000);
    }
    void sendsTheFileWhole() {
        QFETCH(int64_t, capacity);
        fake_->sendCapacity = capacity;
        const QByteArray bytes = RandomBytes(100'000);
        QVERIFY(send_->start(fileOf(bytes)).isEmpty());
        QCOMPARE(send_->total(), uint64_t(bytes.size()));
        QCOMPARE(runSend(3000), FileSendState::Done);
        QCOMPARE(journal_->written, bytes);
        QCOMPARE(send_->sent(), uint64_t(bytes.size()));
        QCOMPARE(link_->TakeSentData(), uint64_t(bytes.size()));
        QVERIFY(mostQueued_ > 0);
        QVERIFY(mostQueued_ <= queueLimit());
    }

    // A driver that takes every byte at once gets no more than the queue's worth a tick.
    void aTickHandsOverAQueueAtMost() {
        fake_->holdSending(false);
        const QByteArray bytes = RandomBytes(100'000);
        QVERIFY(send_->start(fileOf(bytes)).isEmpty());
        QCOMPARE(send_->tick(), FileSendState::Sending);
        QCOMPARE(journal_->written.size(), queueLimit());
        QCOMPARE(runSend(0), FileSendState::Done);
        QCOMPARE(journal_->written, bytes);
    }

    // Done only once the driver has taken the last byte; the count follows the driver.
    void doneWhenTheLastByteLeft() {
        QVERIFY(send_->start(fileOf(QByteArray(300, 'x'))).isEmpty());
        QCOMPARE(send_->tick(), FileSendState::Sending);
        QCOMPARE(send_->sent(), uint64_t(0));
        fake_->release(100);
        QCOMPARE(send_->tick(), FileSendState::Sending);
        QCOMPARE(send_->sent(), uint64_t(100));
        fake_->release(200);
        QCOMPARE(send_->tick(), FileSendState::Done);
        QVERIFY(!send_->sending());
    }

    void emptyFileIsDoneAtOnce() {
        QVERIFY(send_->start(fileOf({})).isEmpty());
        QCOMPARE(send_->tick(), FileSendState::Done);
        QVERIFY(fake_->writes.isEmpty());
    }

    void rateOverTheSend() {
        QVERIFY(send_->start(fileOf(QByteArray(4000, 'x'))).isEmpty());
        QCOMPARE(send_->tick(), FileSendState::Sending);
        nowMs_ = 2000;
        fake_->release(2000);
        QCOMPARE(send_->tick(), FileSendState::Sending);
        QCOMPARE(send_->bytesPerSecond(), 1000.0);
    }

    // A cancel throws the queue away at once and sends nothing more.
    void cancelStopsTheLine() {
        QVERIFY(send_->start(fileOf(RandomBytes(50'000))).isEmpty());
        QCOMPARE(send_->tick(), FileSendState::Sending);
        const qsizetype writes = fake_->writes.size();
        send_->cancel();
        QCOMPARE(send_->state(), FileSendState::Cancelled);
        QCOMPARE(journal_->events.last(), QStringLiteral("purge out"));
        QCOMPARE(fake_->bytesToWrite(), 0);
        QCOMPARE(send_->tick(), FileSendState::Cancelled);
        QCOMPARE(fake_->writes.size(), writes);
    }

    void endsWhenThePortGoes() {
        QVERIFY(send_->start(fileOf(RandomBytes(50'000))).isEmpty());
        QCOMPARE(send_->tick(), FileSendState::Sending);
        link_->ClosePort();
        QCOMPARE(send_->tick(), FileSendState::PortClosed);
        // Opened anew meanwhile: the bytes queued on the old port are gone all the same.
        QVERIFY(send_->start(fileOf(RandomBytes(50'000))).isEmpty());
        QVERIFY(link_->OpenPortByName(QStringLiteral("fake")));
        QCOMPARE(send_->tick(), FileSendState::PortClosed);
    }

    void endsWhenAnExchangeTakesThePort() {
        QVERIFY(send_->start(fileOf(RandomBytes(50'000))).isEmpty());
        QCOMPARE(send_->tick(), FileSendState::Sending);
        const qsizetype writes = fake_->writes.size();
        portTaken_ = true;
        QCOMPARE(send_->tick(), FileSendState::PortTaken);
        QCOMPARE(fake_->writes.size(), writes);
    }

    void refusesWhatIsNoRegularFile() {
        QCOMPARE(send_->start(dir_.path()), QStringLiteral("not a regular file"));
        QVERIFY(!send_->start(dir_.filePath(QStringLiteral("missing"))).isEmpty());
        QVERIFY(!send_->sending());
        QVERIFY(send_->start(fileOf("x")).isEmpty());
        QCOMPARE(send_->start(fileOf("y")), QStringLiteral("a file is being sent"));
    }
};

QTEST_APPLESS_MAIN(TestFileSend)
#include "test_filesend.moc"
