#include <QRandomGenerator>
#include <QtTest>

#include "datatest/receivelayout.h"
#include "datatest/receivesearch.h"
#include "datatest/receivestore.h"

namespace {

constexpr int64_t Chunk = ChunkedBytes::ChunkSize;

// Every character one unit wide, so a row of width w holds w characters.
double UnitAdvance(char32_t) {
    return 1;
}

// The rows of the layout as the text they start with up to their end.
QStringList Rows(const ReceiveLayout& layout) {
    QStringList rows;
    for (qsizetype row = 0; row < layout.rowCount(); ++row) {
        rows << QString::fromUtf8(layout.bytes().slice(layout.rowBegin(row), layout.rowEnd(row)));
    }
    return rows;
}

std::vector<uint64_t> Begins(const ReceiveLayout& layout) {
    std::vector<uint64_t> begins;
    for (qsizetype row = 0; row < layout.rowCount(); ++row) begins.push_back(layout.rowBegin(row));
    return begins;
}

std::vector<uint64_t> TextOffsets(const ReceiveStore& store) {
    std::vector<uint64_t> offsets;
    for (const ReceiveStore::Stamp& stamp : store.stamps()) offsets.push_back(stamp.text);
    return offsets;
}

ReceiveLayoutOptions TextRows(double width, bool stamps = false) {
    ReceiveLayoutOptions options;
    options.width = width;
    options.stamps = stamps;
    return options;
}

using Direction = ChunkedSearch::Direction;
using State = ChunkedSearch::State;

// Runs a search to its end, `slice` bytes a step; checks that no step looks at more.
std::optional<uint64_t> SearchInSlices(ChunkedSearch& search, qsizetype slice) {
    for (int steps = 0; search.state() == State::Running; ++steps) {
        const uint64_t before = search.examined();
        search.step(slice);
        if (search.examined() - before > uint64_t(slice) || steps > 10'000'000) {
            qWarning() << "a step looked at" << search.examined() - before << "bytes";
            return uint64_t(-1);
        }
    }
    if (search.state() == State::Found) return search.hit();
    return std::nullopt;
}

// What a plain search over everything kept finds: the first match at or after `start`, else
// the first of all; backwards the last one that starts before `start`, else the last of all.
std::optional<uint64_t> PlainSearch(const ChunkedBytes& bytes, const QByteArray& needle,
                                    Direction direction, uint64_t start) {
    const QByteArray all = bytes.slice(bytes.begin(), bytes.end());
    const auto at = qsizetype(start - bytes.begin());
    qsizetype hit = -1;
    if (direction == Direction::Forward) {
        hit = all.indexOf(needle, at);
        if (hit < 0) hit = all.indexOf(needle);
    } else {
        if (at > 0) hit = all.lastIndexOf(needle, at - 1);
        if (hit < 0) hit = all.lastIndexOf(needle);
    }
    if (hit < 0) return std::nullopt;
    return bytes.begin() + uint64_t(hit);
}

}  // namespace

class ReceiveStoreTest : public QObject {
    Q_OBJECT

  private slots:
    // Older bytes leave a chunk at a time, never below the capacity; offsets stay valid.
    void keepsTheNewestCapacity() {
        ChunkedBytes bytes(2 * Chunk);
        QByteArray all;
        for (int i = 0; i < 5 * Chunk; i += 1000) {
            const QByteArray piece(1000, char('a' + (i / 1000) % 26));
            bytes.append(piece);
            all += piece;
        }
        QCOMPARE(bytes.end(), uint64_t(all.size()));
        QVERIFY(bytes.end() - bytes.begin() >= uint64_t(2 * Chunk));
        QVERIFY(bytes.end() - bytes.begin() < uint64_t(3 * Chunk));
        QCOMPARE(bytes.begin() % Chunk, 0u);
        // A slice across chunk boundaries and one that asks for more than is kept.
        const uint64_t from = bytes.begin() + Chunk - 10;
        QCOMPARE(bytes.slice(from, from + 20), all.mid(qsizetype(from), 20));
        QCOMPARE(bytes.slice(0, 5), QByteArray());
        QCOMPARE(bytes.at(bytes.end() - 1), all.back());
    }

    void findsAcrossChunks() {
        ChunkedBytes bytes(4 * Chunk);
        bytes.append(QByteArray(Chunk - 2, '.'));
        bytes.append("ABCD");
        bytes.append(QByteArray(10, '.'));
        bytes.append("ABCD");
        const auto find = [&](const char* needle, Direction direction, uint64_t start) {
            ChunkedSearch search(bytes, needle, direction, start);
            return SearchInSlices(search, 7);
        };
        using Hit = std::optional<uint64_t>;
        QCOMPARE(find("ABCD", Direction::Forward, 0), Hit(Chunk - 2));
        QCOMPARE(find("ABCD", Direction::Forward, Chunk - 1), Hit(Chunk + 12));
        QCOMPARE(find("ABCD", Direction::Backward, Chunk + 12), Hit(Chunk - 2));
        QCOMPARE(find("ABCD", Direction::Backward, Chunk - 2), Hit(Chunk + 12));  // round
        // A match that begins before the start and ends after it, across the chunk edge: the
        // first pass backwards, the pass round the end forwards, reach into it.
        QCOMPARE(find("ABCD", Direction::Backward, Chunk), Hit(Chunk - 2));
        QCOMPARE(find("BCD.", Direction::Backward, Chunk), Hit(Chunk - 1));
        QCOMPARE(find("BCD.", Direction::Forward, Chunk), Hit(Chunk - 1));
        QCOMPARE(find("ABCE", Direction::Forward, 0), std::nullopt);
        QCOMPARE(find("", Direction::Forward, 0), std::nullopt);
    }

    // Sliced, from anywhere, either way, with or without bytes let go, the search finds what a
    // plain search over everything kept finds; matches across chunk edges and slice edges,
    // and round the end, included. Every byte is looked at at most once a pass.
    void searchFindsWhatAPlainSearchFinds() {
        QRandomGenerator random(5);
        // Two letters, so that matches and near-matches abound.
        std::vector<quint32> values(static_cast<size_t>(4 * Chunk));
        random.fillRange(values.data(), values.size());
        QByteArray pool(4 * Chunk, 'a');
        std::transform(values.begin(), values.end(), pool.data(),
                       [](quint32 value) { return char('a' + value % 2); });
        for (int round = 0; round < 100; ++round) {
            // More than the capacity in some rounds, so that bytes have left.
            ChunkedBytes bytes(Chunk);
            const qsizetype size = Chunk / 2 + random.bounded(int(2 * Chunk));
            const QByteArray data = pool.mid(random.bounded(int(2 * Chunk)), size);
            for (qsizetype at = 0; at < size;) {
                const qsizetype piece = 1 + random.bounded(int(Chunk / 2));
                bytes.append(data.mid(at, piece));
                at += piece;
            }
            // Long needles are rare in the data, and one with a 'c' is in none.
            QByteArray needle(1 + random.bounded(22), 'a');
            for (char& byte : needle) byte = char('a' + random.bounded(2));
            if (random.bounded(8) == 0) needle[random.bounded(int(needle.size()))] = 'c';
            // Near a chunk edge or anywhere.
            const auto edge = int64_t(bytes.begin()) + Chunk * random.bounded(2);
            const uint64_t start =
                random.bounded(2) == 0
                    ? uint64_t(std::clamp<int64_t>(edge + random.bounded(9) - 4,
                                                   int64_t(bytes.begin()), int64_t(bytes.end())))
                    : bytes.begin() + random.bounded(int(bytes.end() - bytes.begin()) + 1);
            const Direction direction =
                random.bounded(2) == 0 ? Direction::Forward : Direction::Backward;
            ChunkedSearch search(bytes, needle, direction, start);
            const qsizetype slice = 1 + random.bounded(5000);
            const auto hit = SearchInSlices(search, slice);
            QCOMPARE(hit, PlainSearch(bytes, needle, direction, start));
            QVERIFY(search.examined() <=
                    2 * (bytes.end() - bytes.begin()) + uint64_t(needle.size()));
        }
    }

    // Bytes appended after a search began are left to the next; bytes that leave while it
    // runs are skipped, a match among them with them.
    void searchCoversWhatWasKeptWhenItBegan_data() {
        QTest::addColumn<int>("direction");
        QTest::newRow("forwards") << int(Direction::Forward);
        QTest::newRow("backwards") << int(Direction::Backward);
    }
    void searchCoversWhatWasKeptWhenItBegan() {
        QFETCH(int, direction);
        ChunkedBytes bytes(2 * Chunk);
        QByteArray first(Chunk, '.');
        first.replace(Chunk / 2, 6, "needle");
        bytes.append(first);
        bytes.append(QByteArray(Chunk, '.'));
        // Forwards from the middle of the second chunk, backwards from its end: the first
        // chunk, with the match, comes last.
        const uint64_t start =
            Direction(direction) == Direction::Forward ? Chunk + Chunk / 2 : 2 * Chunk;
        ChunkedSearch search(bytes, "needle", Direction(direction), start);
        QCOMPARE(search.step(100), State::Running);
        bytes.append(QByteArray("needle") + QByteArray(Chunk, '.'));
        QVERIFY(bytes.begin() > uint64_t(Chunk / 2));
        QCOMPARE(SearchInSlices(search, 1000), std::nullopt);
        ChunkedSearch next(bytes, "needle", Direction(direction), bytes.end());
        QCOMPARE(SearchInSlices(next, 1000), std::optional<uint64_t>(2 * Chunk));
    }

    // A match begun in bytes that leave while the search runs leaves with them, though its
    // rest is still kept.
    void aMatchBegunInBytesThatLeftIsGone() {
        ChunkedBytes bytes(2 * Chunk);
        bytes.append(QByteArray(Chunk - 3, '.') + "nex");
        bytes.append("edle" + QByteArray(Chunk - 4, '.'));
        ChunkedSearch search(bytes, "needle", Direction::Forward, 0);
        QCOMPARE(search.step(Chunk - 1), State::Running);
        bytes.append(QByteArray(Chunk, '.'));
        QCOMPARE(SearchInSlices(search, 1000), std::nullopt);
    }

    void stampsLeaveWithTheirBytes() {
        ReceiveStore store(Chunk);
        store.append(QByteArray(Chunk, 'x'), 1000);
        store.append("y", 2000);
        QCOMPARE(store.stamps().size(), size_t(2));
        store.append(QByteArray(2 * Chunk, 'z'), std::nullopt);
        QVERIFY(store.droppedBytes() > 0);
        // The first burst has left; the stamp of the one kept in part stays.
        QCOMPARE(store.stamps().size(), size_t(1));
        QCOMPARE(store.stamps().front().msSinceEpoch, 2000);
        store.clear();
        QCOMPARE(store.droppedBytes(), 0u);
        QVERIFY(store.stamps().empty());
        store.append("abc", std::nullopt);
        QCOMPARE(store.raw().slice(0, 10), QByteArray("abc"));
        QCOMPARE(store.text().slice(0, 10), QByteArray("abc"));
    }

    // Text decoded once it is wanted again is the text decoded as the bytes came: characters
    // split between reads, invalid and zero bytes, decoder resets and stamps included.
    void textDecodedLaterIsTheTextDecodedAtOnce() {
        QRandomGenerator random(11);
        const QList<QByteArray> pieces{"ab",  "\r\n", "\xE4", "\xB8\xAD", QByteArray(1, '\0'),
                                       "\xFF"};
        for (int round = 0; round < 50; ++round) {
            ReceiveStore atOnce;
            ReceiveStore later;
            for (int read = 0; read < 40; ++read) {
                QByteArray bytes;
                for (int i = random.bounded(5); i > 0; --i)
                    bytes += pieces[random.bounded(int(pieces.size()))];
                const auto stamp =
                    random.bounded(4) == 0 ? std::optional<int64_t>(read) : std::nullopt;
                if (random.bounded(5) == 0) later.setTextWanted(random.bounded(2) == 1);
                atOnce.append(bytes, stamp);
                later.append(bytes, stamp);
                if (random.bounded(8) == 0) {
                    atOnce.forgetPartialCharacter();
                    later.forgetPartialCharacter();
                }
            }
            later.setTextWanted(true);
            QCOMPARE(later.text().slice(0, later.text().end()),
                     atOnce.text().slice(0, atOnce.text().end()));
            QCOMPARE(TextOffsets(later), TextOffsets(atOnce));
        }
    }

    // Bytes that left before their text was wanted have no text: it begins at the first kept.
    void textWantedAfterBytesLeftBeginsAtTheFirstKeptByte() {
        ReceiveStore store(Chunk);
        store.setTextWanted(false);
        store.append(QByteArray(Chunk, 'x'), 1000);
        store.append(QByteArray(2 * Chunk, 'y'), 2000);
        QVERIFY(store.droppedBytes() > 0);
        store.setTextWanted(true);
        const ChunkedBytes& text = store.text();
        QCOMPARE(text.slice(text.begin(), text.end()),
                 store.raw().slice(store.raw().begin(), store.raw().end()));
        QCOMPARE(store.stamps().front().text, text.begin());
    }

    // Rows break where breaks arrived (CR LF, LF, a lone CR) and where a row is full.
    void textRows_data() {
        QTest::addColumn<QStringList>("pieces");
        QTest::addColumn<QStringList>("rows");
        QTest::newRow("line breaks")
            << QStringList{"ab\r\ncd\nef\rgh"} << QStringList{"ab", "cd", "ef", "gh"};
        QTest::newRow("CR LF split over two reads")
            << QStringList{"ab\r", "\ncd"} << QStringList{"ab", "cd"};
        QTest::newRow("LF CR is two breaks")
            << QStringList{"ab\n\rcd"} << QStringList{"ab", "", "cd"};
        QTest::newRow("a long line wraps")
            << QStringList{"abcdefghij"} << QStringList{"abcd", "efgh", "ij"};
        QTest::newRow("a final break leaves an empty row")
            << QStringList{"ab\n"} << QStringList{"ab", ""};
        QTest::newRow("wide characters")
            << QStringList{"中文字符也可"} << QStringList{"中文字符", "也可"};
    }
    void textRows() {
        QFETCH(QStringList, pieces);
        QFETCH(QStringList, rows);
        ReceiveStore store;
        ReceiveLayout layout(store, UnitAdvance);
        layout.setOptions(TextRows(4));
        for (const QString& piece : pieces) {
            store.append(piece.toUtf8(), std::nullopt);
            layout.update();
        }
        QCOMPARE(Rows(layout), rows);
    }

    // A burst that brought no text (a zero byte) heads no row of text: the next burst does.
    void stampedBurstsStartRows() {
        ReceiveStore store;
        ReceiveLayout layout(store, UnitAdvance);
        layout.setOptions(TextRows(10, true));
        store.append(QByteArray(1, '\0'), 500);
        layout.update();
        store.append("abc", 1000);
        layout.update();
        store.append("def", std::nullopt);
        layout.update();
        store.append("ghi", 5000);
        layout.update();
        QCOMPARE(Rows(layout), (QStringList{"abcdef", "ghi"}));
        QCOMPARE(layout.rowStamp(0), std::optional<int64_t>(1000));
        QCOMPARE(layout.rowStamp(1), std::optional<int64_t>(5000));
        layout.setOptions(TextRows(10, false));
        QCOMPARE(Rows(layout), QStringList{"abcdefghi"});
    }

    void hexRows_data() {
        QTest::addColumn<int>("bytesPerRow");
        QTest::addColumn<double>("width");
        QTest::addColumn<QList<int>>("rowLengths");
        QTest::newRow("16 a row") << 16 << 100.0 << QList<int>{16, 16, 8};
        // Three characters of width 1 a pair: a width of 31 holds 10 pairs.
        QTest::newRow("fit to the width") << 0 << 31.0 << QList<int>{10, 10, 10, 10};
    }
    void hexRows() {
        QFETCH(int, bytesPerRow);
        QFETCH(double, width);
        QFETCH(QList<int>, rowLengths);
        ReceiveStore store;
        ReceiveLayout layout(store, UnitAdvance);
        ReceiveLayoutOptions options;
        options.mode = ReceiveMode::Hex;
        options.hexBytesPerRow = bytesPerRow;
        options.width = width;
        layout.setOptions(options);
        const QByteArray bytes(40, '\x55');
        store.append(bytes, std::nullopt);
        layout.update();
        QList<int> lengths;
        for (qsizetype row = 0; row < layout.rowCount(); ++row) {
            lengths << int(layout.rowEnd(row) - layout.rowBegin(row));
        }
        QCOMPARE(lengths, rowLengths);
        QCOMPARE(layout.rowAt(39), qsizetype(rowLengths.size() - 1));
    }

    // Laying out tick by tick gives the rows a full layout gives, whatever the pieces.
    void appendsLayOutAsAWholeWould() {
        QRandomGenerator random(7);
        const char alphabet[] = "ab \r\n\xE4\xB8\xAD";
        for (int round = 0; round < 50; ++round) {
            ReceiveStore store(Chunk);
            ReceiveLayout layout(store, UnitAdvance);
            layout.setOptions(TextRows(1 + random.bounded(12), random.bounded(2) == 1));
            for (int piece = 0; piece < 30; ++piece) {
                QString text;
                const int length = random.bounded(20);
                for (int i = 0; i < length; ++i) {
                    const int pick = random.bounded(6);
                    text += pick == 5 ? QString::fromUtf8("中") : QString(QChar(alphabet[pick]));
                }
                const auto stamp =
                    random.bounded(4) == 0 ? std::optional<int64_t>(piece) : std::nullopt;
                store.append(text.toUtf8(), stamp);
                layout.update();
            }
            const std::vector<uint64_t> incremental = Begins(layout);
            layout.relayout();
            QCOMPARE(incremental, Begins(layout));
        }
    }
};

QTEST_APPLESS_MAIN(ReceiveStoreTest)
#include "test_receivestore.moc"
