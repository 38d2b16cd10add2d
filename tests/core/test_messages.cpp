#include <QTest>

#include "core/language.h"
#include "core/messages.h"
#include "tests/support/recorders.h"

// Messages wait in one queue and are shown from the event loop, one at a time.
class MessagesTest : public QObject {
    Q_OBJECT

  private slots:
    void shownAfterTheRaisingHandlerReturns() {
        MessageRecorder recorder;
        ShowPlain(QStringLiteral("first"));
        ShowPlain(QStringLiteral("second"));
        QVERIFY(recorder.shown.isEmpty());
        QCOMPARE(recorder.texts(), (QStringList{"first", "second"}));
    }

    // A message raised while another is open (a modal box keeps the event loop running) opens
    // after it, never on top of it.
    void neverOneOnTopOfAnother() {
        MessageRecorder recorder;
        int open = 0;
        int mostOpen = 0;
        recorder.whileOpen = [&](const Message& m) {
            mostOpen = std::max(mostOpen, ++open);
            if (m.text == "first") {
                ShowPlain(QStringLiteral("raised meanwhile"));
                Settle();
            }
            --open;
        };
        ShowPlain(QStringLiteral("first"));
        QCOMPARE(recorder.texts(), (QStringList{"first", "raised meanwhile"}));
        QCOMPARE(mostOpen, 1);
    }

    void theAnswerReachesItsHandler() {
        MessageRecorder recorder;
        recorder.answers << MessageAnswer::Retry;
        LanguageScope chinese(0);
        QList<MessageAnswer> answers;
        ShowLocalized(
            {"Read error!", "参数读取失败", "读参数", nullptr, MessageButtons::RetryCancel},
            QStringLiteral("detail"), [&](MessageAnswer a) { answers << a; });
        QVERIFY(answers.isEmpty());
        QCOMPARE(recorder.texts(), QStringList{"参数读取失败\ndetail"});
        QCOMPARE(recorder.shown[0].caption, QStringLiteral("读参数"));
        QCOMPARE(recorder.shown[0].buttons, MessageButtons::RetryCancel);
        QCOMPARE(answers, QList<MessageAnswer>{MessageAnswer::Retry});
    }
};

QTEST_GUILESS_MAIN(MessagesTest)
#include "test_messages.moc"
