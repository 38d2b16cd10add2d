#include <QTest>
#include <algorithm>
#include <deque>
#include <vector>

#include "serial/bytering.h"
#include "serial/sendledger.h"

// Both classes are driven by a short script per row, so that each row reads as a story:
// a step and what it gave.
class SerialBuffersTest : public QObject {
    Q_OBJECT
  private slots:
    // Steps: "+text" appends and gives the count taken; "-n" takes up to n and gives the bytes;
    // "clear".
    void byteRingKeepsOrderAndRefusesOverflow_data() {
        QTest::addColumn<int>("capacity");
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QStringList>("results");
        QTest::addColumn<int>("sizeAfter");
        QTest::newRow("wraps around on append and on take")
            << 8 << QStringList{"+abcdef", "-4", "+ghijk", "-7"}
            << QStringList{"6", "abcd", "5", "efghijk"} << 0;
        QTest::newRow("refuses what does not fit, keeps the oldest")
            << 4 << QStringList{"+abc", "+def", "+x", "-9", "+yz"}
            << QStringList{"3", "1", "0", "abcd", "2"} << 2;
        QTest::newRow("partial take leaves the rest in order")
            << 8 << QStringList{"+abc", "-2", "+de", "-1", "-5", "-1"}
            << QStringList{"3", "ab", "2", "c", "de", ""} << 0;
        QTest::newRow("clear empties it and frees the whole capacity")
            << 4 << QStringList{"+ab", "-1", "+cde", "clear", "-4", "+wxyz", "-4"}
            << QStringList{"2", "a", "3", "", "", "4", "wxyz"} << 0;
    }
    void byteRingKeepsOrderAndRefusesOverflow() {
        QFETCH(int, capacity);
        QFETCH(QStringList, steps);
        QFETCH(QStringList, results);
        QFETCH(int, sizeAfter);
        ByteRing ring(capacity);
        QStringList got;
        for (const QString& step : steps) {
            if (step == "clear") {
                ring.clear();
                got << "";
            } else if (step.startsWith('+')) {
                const QByteArray bytes = step.mid(1).toLatin1();
                got << QString::number(
                    ring.append(reinterpret_cast<const uint8_t*>(bytes.constData()), bytes.size()));
            } else {
                QByteArray out(step.mid(1).toInt(), '\0');
                out.resize(ring.take(reinterpret_cast<uint8_t*>(out.data()), out.size()));
                got << QString::fromLatin1(out);
            }
            QCOMPARE(ring.size() + ring.freeSpace(), ring.capacity());
        }
        QCOMPARE(got, results);
        QCOMPARE(ring.size(), sizeAfter);
    }

    // Steps: n > 0 appends the next n bytes of a running count, n < 0 takes up to -n; each
    // step is checked against a plain queue of the same capacity. The storage never exceeds
    // the capacity, nor twice the most bytes held at once (a first 4 KiB apart).
    void byteRingGrowsWithUse_data() {
        QTest::addColumn<qint64>("capacity");
        QTest::addColumn<QList<int>>("steps");
        QTest::newRow("grows while its bytes wrap around the end")
            << qint64(1 << 20) << QList<int>{3000, -2000, 3000, 10000, -14000, 40000, -1, 9000};
        QTest::newRow("refuses at its capacity and grows no further")
            << qint64(10000) << QList<int>{3000, 3000, 3000, 3000, 5, -2500, 3000, -10000, 10001};
        QList<int> trickle;
        for (int i = 0; i < 2000; ++i) trickle << 500 << -500;
        QTest::newRow("a port that never holds much stays small")
            << qint64(4 * 1024 * 1024) << trickle;
    }
    void byteRingGrowsWithUse() {
        QFETCH(qint64, capacity);
        QFETCH(QList<int>, steps);
        ByteRing ring(capacity);
        std::deque<uint8_t> model;
        uint32_t next = 0;
        int64_t mostHeld = 0;
        const auto storageLimit = [&] {
            return std::min<int64_t>(capacity, std::max<int64_t>(4096, 2 * mostHeld));
        };
        QVERIFY(ring.allocated() <= storageLimit());
        for (const int step : steps) {
            if (step > 0) {
                std::vector<uint8_t> bytes(static_cast<size_t>(step));
                for (uint8_t& byte : bytes) byte = uint8_t(next++ % 251);
                const int64_t fits = std::min<int64_t>(step, capacity - int64_t(model.size()));
                QCOMPARE(ring.append(bytes.data(), step), fits);
                model.insert(model.end(), bytes.begin(), bytes.begin() + fits);
                // Refused bytes are lost: the next append goes on after them.
            } else {
                std::vector<uint8_t> out(static_cast<size_t>(-step));
                const int64_t moved = ring.take(out.data(), -step);
                QCOMPARE(moved, std::min<int64_t>(-step, int64_t(model.size())));
                QVERIFY(std::equal(out.begin(), out.begin() + moved, model.begin()));
                model.erase(model.begin(), model.begin() + moved);
            }
            QCOMPARE(ring.size(), int64_t(model.size()));
            mostHeld = std::max(mostHeld, ring.size());
            QVERIFY2(ring.allocated() <= storageLimit(), qPrintable(QString::number(step)));
        }
    }

    // Steps: "w5" an uncounted write of 5 bytes, "d5" a user data write, "refused 2" the send
    // queue refused the latest write's last 2 bytes, "sent 9" the device's total is 9 (gives
    // the counted bytes taken since the last "sent"), "purge", "close".
    void sendLedgerCountsOnlyUserData_data() {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QList<uint64_t>>("counted");
        QTest::newRow("counted and uncounted interleaved")
            << QStringList{"w3", "d5", "w2", "d4", "sent 4", "sent 10", "sent 14", "sent 14"}
            << QList<uint64_t>{1, 4, 4, 0};
        QTest::newRow("a write partly refused")
            << QStringList{"w2", "d10", "refused 4", "w3", "sent 11"} << QList<uint64_t>{6};
        QTest::newRow("a purge discards what was queued")
            << QStringList{"w5", "sent 2", "purge", "d3", "sent 5"} << QList<uint64_t>{0, 3};
        QTest::newRow("the next device counts from zero")
            << QStringList{"d6", "sent 2", "close", "w4", "d3", "sent 4", "sent 7"}
            << QList<uint64_t>{2, 0, 3};
    }
    void sendLedgerCountsOnlyUserData() {
        QFETCH(QStringList, steps);
        QFETCH(QList<uint64_t>, counted);
        SendLedger ledger;
        QList<uint64_t> got;
        for (const QString& step : steps) {
            const QStringList words = step.split(' ');
            if (step.startsWith('w') || step.startsWith('d')) {
                ledger.queued(step.mid(1).toULongLong(), step.startsWith('d'));
            } else if (words[0] == "refused") {
                ledger.refused(words[1].toULongLong());
            } else if (words[0] == "sent") {
                ledger.sent(words[1].toULongLong());
                got << ledger.takeCounted();
            } else if (step == "purge") {
                ledger.discardQueued();
            } else {
                ledger.deviceClosed();
            }
        }
        QCOMPARE(got, counted);
    }
};

QTEST_GUILESS_MAIN(SerialBuffersTest)
#include "tst_serialbuffers.moc"
