#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QDateTime>
#include <QFile>
#include <QLineEdit>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include "core/language.h"
#include "datatest/receiveview.h"

namespace {

void Receive(ReceiveView& view, const QByteArray& bytes) {
    view.appendReceived(bytes);
}

QString Copied(ReceiveView& view) {
    view.CopyAction->trigger();
    return QApplication::clipboard()->text();
}

// Runs a search slice by slice, as the find timer does; whether it found a match.
bool FindNow(ReceiveView& view, const QString& needle, bool backwards = false) {
    QSignalSpy finished(&view, &ReceiveView::findFinished);
    view.find(needle, backwards);
    for (int slices = 0; view.findRunning() && slices < 1000; ++slices) view.continueFind();
    return finished.size() == 1 && finished.first().first().toBool();
}

const QByteArray LongLine = QByteArray("a quick brown fox jumps over the lazy dog ").repeated(20);

}  // namespace

// The receive view on its own, in a window of a known size.
class ReceiveViewTest : public QObject {
    Q_OBJECT

    std::unique_ptr<ReceiveView> view_;
    int64_t now_ = 0;

    ReceiveView& view() { return *view_; }

  private slots:
    void init() {
        LanguageFlag = 1;
        view_ = std::make_unique<ReceiveView>();
        view_->resize(400, 200);
        view_->show();
        QVERIFY(QTest::qWaitForWindowExposed(view_.get()));
        now_ = QDateTime(QDate(2026, 12, 7), QTime(9, 30)).toMSecsSinceEpoch();
        view_->setClock([this] { return now_; });
    }
    void cleanup() { view_.reset(); }

    // What is copied is exactly what arrived: no line break of the view's own, a CR LF as CR LF.
    void copyIsExactlyWhatArrived_data() {
        QTest::addColumn<bool>("hex");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("copied");
        QTest::newRow("long line and breaks") << false << LongLine + "\r\nnext\nlast"
                                              << QString::fromLatin1(LongLine + "\r\nnext\nlast");
        QTest::newRow("a zero byte in the middle")
            << false << QByteArray("AB\0CD", 5) << QStringLiteral("ABCD");
        QTest::newRow("hex, zero included")
            << true << QByteArray("AB\0CD\r\n", 7) << QStringLiteral("41 42 00 43 44 0D 0A");
        QTest::newRow("hex, many rows")
            << true << LongLine << QString::fromLatin1(LongLine.toHex(' ').toUpper());
    }
    void copyIsExactlyWhatArrived() {
        QFETCH(bool, hex);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, copied);
        view().setHexDisplay(hex);
        // In pieces, as ticks bring them.
        for (qsizetype at = 0; at < bytes.size(); at += 37) Receive(view(), bytes.mid(at, 37));
        QVERIFY(view().layout().rowCount() > (bytes.size() > 100 ? 3 : 0));
        view().SelectAllAction->trigger();
        QCOMPARE(Copied(view()), copied);
        QCOMPARE(view().allText(), copied);
    }

    void rowsReWrapWhenTheViewIsResized() {
        Receive(view(), LongLine);
        const qsizetype wide = view().layout().rowCount();
        view_->resize(200, 200);
        const qsizetype narrow = view().layout().rowCount();
        QVERIFY2(narrow > wide * 3 / 2,
                 qPrintable(QStringLiteral("%1 -> %2").arg(wide).arg(narrow)));
        // Every row fits the new width, and the text is still the same.
        const QFontMetricsF metrics(view().viewport()->font());
        for (qsizetype row = 0; row < view().layout().rowCount(); ++row) {
            QVERIFY(metrics.horizontalAdvance(view().paintedRowText(row)) <=
                    view().viewport()->width());
        }
        QCOMPARE(view().allText(), QString::fromLatin1(LongLine));
    }

    void selectionByKeyboard() {
        Receive(view(), "first line\r\nsecond line\r\nthird");
        view().setFocus();
        QTest::keyClick(&view(), Qt::Key_Home, Qt::ControlModifier);
        for (int i = 0; i < 5; ++i) QTest::keyClick(&view(), Qt::Key_Right, Qt::ShiftModifier);
        QCOMPARE(view().selectedText(), QStringLiteral("first"));
        QTest::keyClick(&view(), Qt::Key_Down, Qt::ShiftModifier);
        QCOMPARE(view().selectedText(), QStringLiteral("first line\r\nsecon"));
        QTest::keyClick(&view(), Qt::Key_End, Qt::ShiftModifier);
        QCOMPARE(view().selectedText(), QStringLiteral("first line\r\nsecond line"));
        QTest::keyClick(&view(), Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(view().selectedText(), view().allText());
        QTest::keyClick(&view(), Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QApplication::clipboard()->text(), view().allText());
    }

    // A burst after more than the quiet time starts a row headed by its time, the first row
    // after a clearing too; none of it is copied. The zero byte is in the hexadecimal rows
    // alone, so that there the bursts begin at other offsets.
    void timeStamps_data() {
        QTest::addColumn<bool>("hex");
        QTest::addColumn<QStringList>("rows");
        QTest::addColumn<QString>("copied");
        QTest::newRow("text") << false
                              << QStringList{"[09:30:00.000] onetwo", "[09:30:00.201] three"}
                              << "onetwothree";
        QTest::newRow("hex") << true
                             << QStringList{"[09:30:00.000] 6F 6E 65 00 74 77 6F",
                                            "[09:30:00.201] 74 68 72 65 65"}
                             << "6F 6E 65 00 74 77 6F 74 68 72 65 65";
    }
    void timeStamps() {
        QFETCH(bool, hex);
        QFETCH(QStringList, rows);
        QFETCH(QString, copied);
        view().setHexDisplay(hex);
        view().setStampsShown(true);
        view().setStampQuietMs(100);
        Receive(view(), QByteArray("one\0", 4));
        now_ += 100;
        Receive(view(), "two");
        now_ += 101;
        Receive(view(), "three");
        QCOMPARE(view().layout().rowCount(), 2);
        QCOMPARE(view().paintedRowText(0), rows[0]);
        QCOMPARE(view().paintedRowText(1), rows[1]);
        view().SelectAllAction->trigger();
        QCOMPARE(Copied(view()), copied);
        view().setStampsShown(false);
        QCOMPARE(view().layout().rowCount(), 1);
        view().setStampsShown(true);
        view().clearReceived();
        now_ += 1;
        Receive(view(), "four");
        QVERIFY(view().paintedRowText(0).startsWith(QStringLiteral("[09:30:00.202] ")));
    }

    // The text is saved, and shown, also when it arrived while shown in hexadecimal.
    void savesTheThreeForms_data() {
        QTest::addColumn<bool>("hex");
        QTest::addColumn<int>("format");
        QTest::addColumn<QByteArray>("file");
        for (const bool hex : {false, true}) {
            const char* shown = hex ? " in hex display" : "";
            QTest::addRow("raw%s", shown)
                << hex << int(ReceiveView::SaveFormat::Raw) << QByteArray("A\0\xE4\xB8\xAD\r\n", 7);
            QTest::addRow("text%s", shown)
                << hex << int(ReceiveView::SaveFormat::Text) << QByteArray("A\xE4\xB8\xAD\r\n");
            QTest::addRow("hex%s", shown)
                << hex << int(ReceiveView::SaveFormat::Hex) << QByteArray("41 00 E4 B8 AD 0D 0A");
        }
    }
    void savesTheThreeForms() {
        QFETCH(bool, hex);
        QFETCH(int, format);
        QFETCH(QByteArray, file);
        view().setHexDisplay(hex);
        Receive(view(), QByteArray("A\0\xE4", 3));
        Receive(view(), QByteArray("\xB8\xAD\r\n"));
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("received"));
        QCOMPARE(view().save(path, ReceiveView::SaveFormat(format)), std::nullopt);
        QFile saved(path);
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QCOMPARE(saved.readAll(), file);
        QVERIFY(view().save(dir.filePath(QStringLiteral("no/such/folder/file")),
                            ReceiveView::SaveFormat::Raw));
        view().setHexDisplay(false);
        QCOMPARE(view().allText(), QString::fromUtf8("A\xE4\xB8\xAD\r\n"));
    }

    // What is saved a slice at a time is saved whole, in hexadecimal a space between every
    // two pairs.
    void savesMoreThanASliceWhole() {
        QByteArray bytes(1024 * 1024 + 3, '\0');
        for (qsizetype i = 0; i < bytes.size(); ++i) bytes[i] = char(i % 251);
        view().setHexDisplay(true);
        Receive(view(), bytes);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("received"));
        for (const auto& [format, file] :
             {std::pair{ReceiveView::SaveFormat::Raw, bytes},
              std::pair{ReceiveView::SaveFormat::Hex, bytes.toHex(' ').toUpper()}}) {
            QCOMPARE(view().save(path, format), std::nullopt);
            QFile saved(path);
            QVERIFY(saved.open(QIODevice::ReadOnly));
            QVERIFY(saved.readAll() == file);
        }
    }

    // Past 16 MiB the oldest bytes leave and one row says how many.
    void boundedStoreShowsItsMarker() {
        view().setHexDisplay(true);
        const QByteArray megabyte(1024 * 1024, '\x5A');
        for (int i = 0; i < 17; ++i) view().appendReceived(megabyte);
        const uint64_t dropped = view().store().droppedBytes();
        QVERIFY(dropped >= 1024 * 1024);
        QVERIFY(view().store().raw().end() - view().store().raw().begin() >= 16u * 1024 * 1024);
        view().verticalScrollBar()->setValue(0);
        QCOMPARE(view().paintedRowText(0),
                 QStringLiteral("\u2026 %1 earlier bytes not kept").arg(dropped));
        view().clearReceived();
        QCOMPARE(view().layout().rowCount(), 1);
        QCOMPARE(view().paintedRowText(0), QString());
    }

    void screenReadersReadTheText() {
        Receive(view(), QByteArray("ab\0c\r\n\xE4\xB8\xAD!", 10));
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(&view());
        QVERIFY(accessible);
        QAccessibleTextInterface* text = accessible->textInterface();
        QVERIFY(text);
        QCOMPARE(text->characterCount(), 7);
        QCOMPARE(text->text(0, 7), QString::fromUtf8("abc\r\n中!"));
        text->setSelection(0, 5, 7);
        QCOMPARE(view().selectedText(), QString::fromUtf8("中!"));
        int from = -1;
        int to = -1;
        text->selection(0, &from, &to);
        QCOMPARE(std::pair(from, to), std::pair(5, 7));
        view().setHexDisplay(true);
        QCOMPARE(accessible->text(QAccessible::Value),
                 QStringLiteral("61 62 00 63 0D 0A E4 B8 AD 21"));
    }

    // The newest rows stay in sight, unless the user scrolled up: then a hint says more came.
    void followsTheNewestUnlessScrolledUp() {
        QToolButton* hint = view().findChild<QToolButton*>(QStringLiteral("NewDataHint"));
        QVERIFY(hint);
        for (int i = 0; i < 40; ++i)
            Receive(view(), QByteArray("line ") + QByteArray::number(i) + "\n");
        QScrollBar* scroll = view().verticalScrollBar();
        QVERIFY(scroll->maximum() > 0);
        QCOMPARE(scroll->value(), scroll->maximum());
        QVERIFY(!view().newDataHintShown());
        scroll->setValue(3);
        Receive(view(), "more\n");
        QCOMPARE(scroll->value(), 3);
        QVERIFY(view().newDataHintShown());
        hint->click();
        QCOMPARE(scroll->value(), scroll->maximum());
        QVERIFY(view().followsNewest());
        Receive(view(), "and more\n");
        QCOMPARE(scroll->value(), scroll->maximum());
        QVERIFY(!view().newDataHintShown());
    }

    // The scroll bar is painted in bands; together they are exactly what its style paints whole.
    void scrollBarLooksAsItsStyleDrawsIt() {
        view().resize(400, 600);
        for (int i = 0; i < 200; ++i) Receive(view(), "row\n");
        QScrollBar* scroll = view().verticalScrollBar();
        scroll->setValue(scroll->maximum() / 3);
        const QImage banded = scroll->grab().toImage();
        QVERIFY(scroll->height() > 300);
        scroll->setStyle(QApplication::style());
        QCOMPARE(banded, scroll->grab().toImage());
    }

    void findsInTextAndHex() {
        Receive(view(), "alpha beta alpha gamma");
        QVERIFY(FindNow(view(), QStringLiteral("alpha")));
        using Range = std::pair<uint64_t, uint64_t>;
        QCOMPARE(view().selection(), Range(0, 5));
        QVERIFY(FindNow(view(), QStringLiteral("alpha")));
        QCOMPARE(view().selection(), Range(11, 16));
        QVERIFY(FindNow(view(), QStringLiteral("alpha")));  // round the end
        QCOMPARE(view().selection().first, 0u);
        QVERIFY(FindNow(view(), QStringLiteral("alpha"), true));
        QCOMPARE(view().selection().first, 11u);
        QVERIFY(!FindNow(view(), QStringLiteral("delta")));
        view().setHexDisplay(true);
        QVERIFY(FindNow(view(), QStringLiteral("62 65")));
        QCOMPARE(view().selectedText(), QStringLiteral("62 65"));
        QVERIFY(!FindNow(view(), QStringLiteral("6")));
        // Digits in any case, with or without spaces; backwards, then round the end.
        QVERIFY(FindNow(view(), QStringLiteral("616c"), true));
        QCOMPARE(view().selection(), Range(0, 2));
        QVERIFY(FindNow(view(), QStringLiteral("61 6C"), true));
        QCOMPARE(view().selection(), Range(11, 13));
        view().setHexDisplay(false);
        Receive(view(), "\xE4\xB8\xAD!");
        QVERIFY(FindNow(view(), QString::fromUtf8("中")));
        QCOMPARE(view().selectedText(), QString::fromUtf8("中"));
    }

    // A search looks through one slice at a time, and the window's events are served between
    // slices: data that arrive meanwhile are shown as usual, and left to the next search.
    void findRunsInSlices() {
        view().setHexDisplay(true);
        const qsizetype slice = ReceiveView::FindSliceBytes;
        QByteArray data(3 * slice, '.');
        data.replace(10, 6, "needle");
        Receive(view(), data);
        const QString needle = QStringLiteral("6E 65 65 64 6C 65");
        using Range = std::pair<uint64_t, uint64_t>;
        // Backwards from the beginning: round from the end, through all but 10 bytes.
        view().select(0, 0);
        QSignalSpy finished(&view(), &ReceiveView::findFinished);
        view().find(needle, true);
        int slices = 0;
        for (; view().findRunning() && slices < 10; ++slices) {
            QCOMPARE(view().selection(), Range(0, 0));
            view().continueFind();
        }
        QCOMPARE(slices, 3);
        QCOMPARE(finished.size(), 1);
        QVERIFY(finished.first().first().toBool());
        QCOMPARE(view().selection(), Range(10, 16));

        // Now from the find timer, with an arrival served while the search runs.
        view().select(0, 0);
        bool runningWhenServed = false;
        QTimer::singleShot(0, &view(), [this, &runningWhenServed] {
            runningWhenServed = view().findRunning();
            Receive(view(), "needle");
        });
        view().find(needle, true);
        QTRY_VERIFY_WITH_TIMEOUT(!view().findRunning(), 10000);
        QVERIFY(runningWhenServed);
        QCOMPARE(view().store().raw().end(), uint64_t(data.size() + 6));
        QCOMPARE(view().selection(), Range(10, 16));
        QVERIFY(FindNow(view(), needle, true));
        QCOMPARE(view().selection(), Range(data.size(), data.size() + 6));
    }

    // Closing the find field (Escape), editing its text, clearing the area or switching the
    // display stops a search without a verdict; a new Enter takes the place of the old search.
    void findStops_data() {
        QTest::addColumn<int>("action");
        QTest::newRow("Escape") << 0;
        QTest::newRow("editing the text") << 1;
        QTest::newRow("Cls") << 2;
        QTest::newRow("the other display") << 3;
        QTest::newRow("a new Enter") << 4;
    }
    void findStops() {
        QFETCH(int, action);
        view().activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(view_.get()));
        // No slice runs before the event loop does.
        QByteArray data(200'000, '.');
        data.replace(10, 5, "alpha");
        data.replace(data.size() - 10, 5, "alpha");
        Receive(view(), data);
        view().select(0, 0);
        auto* field = view().findChild<QLineEdit*>(QStringLiteral("FindText"));
        QVERIFY(field);
        view().FindAction->trigger();
        QTest::keyClicks(field, QStringLiteral("alpha"));
        QSignalSpy finished(&view(), &ReceiveView::findFinished);
        QTest::keyClick(field, Qt::Key_Return);
        QVERIFY(view().findRunning());
        switch (action) {
            case 0:
                QTest::keyClick(field, Qt::Key_Escape);
                QVERIFY(!field->isVisible());
                break;
            case 1:
                QTest::keyClicks(field, QStringLiteral("x"));
                break;
            case 2:
                view().clearReceived();
                break;
            case 3:
                view().setHexDisplay(true);
                break;
            default:
                // Backwards from the beginning: round to the match near the end, where the
                // search replaced would have found the one at 10.
                QTest::keyClick(field, Qt::Key_Return, Qt::ShiftModifier);
        }
        for (int slices = 0; slices < 10; ++slices) view().continueFind();
        QVERIFY(!view().findRunning());
        QCOMPARE(field->styleSheet(), QString());
        if (action == 4) {
            QCOMPARE(finished.size(), 1);
            QCOMPARE(view().selection(),
                     std::pair(uint64_t(data.size() - 10), uint64_t(data.size() - 5)));
        } else {
            QCOMPARE(finished.size(), 0);
        }
    }

    // The field turns red when its text was not found, and back when it is found or edited.
    void findFieldSaysWhetherItWasFound() {
        Receive(view(), "alpha beta");
        auto* field = view().findChild<QLineEdit*>(QStringLiteral("FindText"));
        view().FindAction->trigger();
        QTest::keyClicks(field, QStringLiteral("gamma"));
        QTest::keyClick(field, Qt::Key_Return);
        QTRY_VERIFY_WITH_TIMEOUT(!field->styleSheet().isEmpty(), 5000);
        QTest::keyClick(field, Qt::Key_Backspace);
        QCOMPARE(field->styleSheet(), QString());
        // A dark theme's white text is not drawn on the pale red.
        QPalette dark = field->palette();
        dark.setColor(QPalette::Text, Qt::white);
        dark.setColor(QPalette::Base, QColor(0x2a, 0x2a, 0x2a));
        field->setPalette(dark);
        field->setText(QStringLiteral("gamma"));
        QTest::keyClick(field, Qt::Key_Return);
        QTRY_VERIFY_WITH_TIMEOUT(!field->styleSheet().isEmpty(), 5000);
        QCOMPARE(field->palette().color(QPalette::Base), QColor(0xff, 0xd0, 0xd0));
        QCOMPARE(field->palette().color(QPalette::Text), QColor(Qt::black));
        field->setText(QStringLiteral("beta"));
        QTest::keyClick(field, Qt::Key_Return);
        QTRY_COMPARE_WITH_TIMEOUT(field->styleSheet(), QString(), 5000);
        QCOMPARE(view().selectedText(), QStringLiteral("beta"));
    }

    // Once bytes leave, row 0 says how many: the scroll bar's top, Ctrl+Home and a screen
    // reader reach it, and it is no part of what is selected and copied.
    void markerRowIsTheFirstRow_data() {
        QTest::addColumn<bool>("hex");
        QTest::newRow("text") << false;
        QTest::newRow("hex") << true;
    }
    void markerRowIsTheFirstRow() {
        QFETCH(bool, hex);
        ReceiveView small(nullptr, 2 * ChunkedBytes::ChunkSize);
        small.resize(400, 200);
        small.show();
        QVERIFY(QTest::qWaitForWindowExposed(&small));
        small.setHexDisplay(hex);
        const QByteArray lines = QByteArray("radio data line 0123456789\r\n").repeated(1000);
        small.appendReceived(lines);
        // At the top when the first bytes leave: the marker row takes their place.
        QScrollBar* scroll = small.verticalScrollBar();
        scroll->setValue(0);
        while (small.store().droppedBytes() == 0) small.appendReceived(lines);
        const auto marker = [&small] {
            return QStringLiteral("\u2026 %1 earlier bytes not kept")
                .arg(small.store().droppedBytes());
        };
        QCOMPARE(small.layout().markerRows(), 1);
        QCOMPARE(scroll->value(), 0);
        QCOMPARE(small.paintedRowText(0), marker());
        // It stays in sight while more arrive and leave.
        for (int i = 0; i < 3; ++i) small.appendReceived(lines);
        QCOMPARE(scroll->value(), 0);
        QCOMPARE(small.paintedRowText(0), marker());
        QVERIFY(small.newDataHintShown());

        // Ctrl+Home from the newest rows.
        scroll->setValue(scroll->maximum());
        small.setFocus();
        QTest::keyClick(&small, Qt::Key_Home, Qt::ControlModifier);
        QCOMPARE(scroll->value(), 0);
        const uint64_t begin = small.layout().bytes().begin();
        QCOMPARE(small.selection(), std::pair(begin, begin));

        // A screen reader reads it first, on a line of its own; offsets after it are the data's.
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(&small);
        QAccessibleTextInterface* text = accessible->textInterface();
        QVERIFY(text);
        const QString read = accessible->text(QAccessible::Value);
        const QString data = small.allText();
        QCOMPARE(read, marker() + u'\n' + data);
        QCOMPARE(text->characterCount(), read.size());
        const int first = int(marker().size()) + 1;
        // Two bytes: five characters of text, or two pairs and a space.
        const int characters = hex ? 6 : 5;
        text->setSelection(0, first, first + characters);
        QCOMPARE(small.selectedText(), data.left(5));
        int from = -1;
        int to = -1;
        text->selection(0, &from, &to);
        QCOMPARE(std::pair(from, to), std::pair(first, first + characters));
        text->setSelection(0, 0, 3);
        QCOMPARE(small.selectedText(), QString());

        // Selecting everything and copying take the data alone.
        small.SelectAllAction->trigger();
        QCOMPARE(Copied(small), data);
        QVERIFY(!data.contains(u'\u2026'));
    }
};

QTEST_MAIN(ReceiveViewTest)
#include "test_receiveview.moc"
