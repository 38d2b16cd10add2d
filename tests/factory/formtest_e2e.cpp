// The factory test window through the real serial backend, its real clock and its real
// ExchangeTimer, against tvrsim on a pseudo-terminal. Every wait is bounded.

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <memory>

#include "factory/formtest.h"
#include "serial/portnames.h"
#include "serial/qtserialdevice.h"
#include "serial/seriallink.h"
#include "tests/support/processes.h"
#include "tests/support/recorders.h"

namespace {

// Far more than any exchange here takes, short of a hang.
constexpr int ExchangeLimitMs = 10'000;

}  // namespace

class FormTestE2e : public QObject {
    Q_OBJECT

    MessageRecorder messages_;
    RadioFolder folder_;
    std::unique_ptr<SerialLink> link_;
    std::unique_ptr<TFormTest> form_;

    // tvrsim with `options`, and the window on a port to it at 9600 N, tvrsim's default.
    void startRadio(const QStringList& options) {
        QVERIFY(folder_.begin());
        const QString radio = folder_.path(QStringLiteral("radio"));
        QVERIFY(folder_.radios().run(QStringList{"--link", radio} + options, {radio}));
        SetPinnedPorts({radio});
        link_ = std::make_unique<SerialLink>(OpenQtSerialDevice);
        QVERIFY(OpenAt9600(*link_, 1));
        form_ = std::make_unique<TFormTest>(*link_, nullptr, std::function<void()>{});
    }

    // The event loop runs until the exchange is over.
    bool exchangeEnds() {
        return QTest::qWaitFor([this] { return !form_->ExchangeTimer->isActive(); },
                               ExchangeLimitMs);
    }

  private slots:
    void cleanup() {
        form_.reset();
        if (link_) link_->ClosePort();
        link_.reset();
        folder_.end();
        messages_.clear();
    }

    void fieldStrengthExchange() {
        startRadio({});
        form_->Button7Click();
        QVERIFY(form_->ExchangeTimer->isActive());
        QVERIFY(!form_->Button7->isEnabled());
        QVERIFY(exchangeEnds());
        QVERIFY(form_->Button7->isEnabled());
        QVERIFY(messages_.texts().isEmpty());
        // tvrsim's radio reads a field strength of 85.
        QCOMPARE(form_->EditDis->text(), QStringLiteral("55 AA 03 11 55 00 69 "));
        QCOMPARE(form_->Edit1->text(), QStringLiteral("-085"));
    }

    void registerDumpWithSlowTurnaround() {
        startRadio({QStringLiteral("--fault"), QStringLiteral("delay=30")});
        // Each reply may take a second: the exact bound is the unit test's, and here a loaded
        // machine must not turn a 30 ms turnaround into a missed register.
        link_->WaitFactor = 20;
        form_->Button2Click();
        QVERIFY(exchangeEnds());
        QCOMPARE(messages_.texts(), QStringList{QStringLiteral("Read End")});
        // tvrsim's radio holds 7 * n + 3 in register n.
        QCOMPARE(form_->Memo1->toPlainText(),
                 QStringLiteral("03 0A 11 18 1F 26 2D 34 3B 42 49 50 57 5E 65 6C 73 7A 81 88 8F "
                                "96 9D A4 AB B2 B9 C0 C7 CE D5 DC E3 "));
    }
};

QTEST_MAIN(FormTestE2e)
#include "formtest_e2e.moc"
