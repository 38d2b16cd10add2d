// The factory test window through the real serial backend, with its real blocking wait,
// against tvrsim on a pseudo-terminal.

#include <QElapsedTimer>
#include <QFileInfo>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

#include "core/messages.h"
#include "factory/formtest.h"
#include "serial/portnames.h"
#include "serial/qtserialdevice.h"
#include "serial/seriallink.h"

class FormTestE2e : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QProcess sim_;
    std::unique_ptr<SerialLink> link_;
    std::unique_ptr<TFormTest> form_;
    QList<Message> messages_;

    QString radioPath() const { return dir_.filePath(QStringLiteral("radio")); }

  private slots:
    void initTestCase() {
        QVERIFY(dir_.isValid());
        SetMessagePresenter([this](const Message& m) {
            messages_ << m;
            return MessageAnswer::Ok;
        });
        sim_.start(QStringLiteral(TVRSIM_PATH), {QStringLiteral("--link"), radioPath()});
        QVERIFY(sim_.waitForStarted(3000));
        QElapsedTimer timer;
        timer.start();
        while (!QFileInfo(radioPath()).isSymLink() && timer.elapsed() < 5000) {
            sim_.waitForReadyRead(50);
        }
        QVERIFY(QFileInfo(radioPath()).isSymLink());

        SetPinnedPorts({radioPath()});
        link_ = std::make_unique<SerialLink>(OpenQtSerialDevice);
        QVERIFY(link_->OpenPortByName(1));
        link_->BaudIndex = 4;  // 9600, no parity: tvrsim's default
        link_->ParityIndex = 0;
        link_->ApplyPortSettings();
        QVERIFY(link_->PortHandle());
        form_ = std::make_unique<TFormTest>(*link_, nullptr, std::function<void()>{});
    }

    void cleanupTestCase() {
        form_.reset();
        if (link_) link_->ClosePort();
        sim_.terminate();
        if (!sim_.waitForFinished(3000)) sim_.kill();
    }

    void init() { messages_.clear(); }

    void fieldStrengthExchange() {
        form_->Button7Click();
        QVERIFY(messages_.isEmpty());
        // tvrsim's radio reads a field strength of 85.
        QCOMPARE(form_->EditDis->text(), QStringLiteral("55 AA 03 11 55 00 69 "));
        QCOMPARE(form_->Edit1->text(), QStringLiteral("-085"));
    }

    void registerDump() {
        QElapsedTimer timer;
        timer.start();
        form_->Button2Click();
        QVERIFY(timer.elapsed() < 10000);
        QCOMPARE(messages_.size(), 1);
        QCOMPARE(messages_.first().text, QStringLiteral("Read End"));
        // tvrsim's radio holds 7 * n + 3 in register n.
        QCOMPARE(form_->Memo1->toPlainText(),
                 QStringLiteral("03 0A 11 18 1F 26 2D 34 3B 42 49 50 57 5E 65 6C 73 7A 81 88 8F "
                                "96 9D A4 AB B2 B9 C0 C7 CE D5 DC E3 "));
    }
};

QTEST_MAIN(FormTestE2e)
#include "formtest_e2e.moc"
