// The factory test window through the real serial backend, its real clock and its real
// ExchangeTimer, against tvrsim on a pseudo-terminal. Every wait is bounded.

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <memory>

#include "factory/formtest.h"
#include "serial/portnames.h"
#include "serial/qtserialdevice.h"
#include "serial/seriallink.h"
#include "tests/support/recorders.h"

namespace {

// Far more than any exchange here takes, short of a hang.
constexpr int ExchangeLimitMs = 10'000;

// tvrsim with the given options, behind a pseudo-terminal whose link is `path`.
class Tvrsim {
  public:
    explicit Tvrsim(const QStringList& options) {
        process_.start(QStringLiteral(TVRSIM_PATH),
                       QStringList{QStringLiteral("--link"), path()} + options);
    }
    ~Tvrsim() {
        process_.terminate();
        if (!process_.waitForFinished(3000)) process_.kill();
    }
    QString path() const { return dir_.filePath(QStringLiteral("radio")); }

    // The link exists once tvrsim listens on the terminal.
    bool ready() {
        if (!dir_.isValid() || !process_.waitForStarted(3000)) return false;
        QDeadlineTimer deadline(5000);
        while (!QFileInfo(path()).isSymLink() && !deadline.hasExpired())
            process_.waitForReadyRead(50);
        return QFileInfo(path()).isSymLink();
    }

  private:
    QTemporaryDir dir_;
    QProcess process_;
};

}  // namespace

class FormTestE2e : public QObject {
    Q_OBJECT

    MessageRecorder messages_;
    std::unique_ptr<Tvrsim> sim_;
    std::unique_ptr<SerialLink> link_;
    std::unique_ptr<TFormTest> form_;

    // tvrsim with `options`, and the window on a port to it at 9600 N, tvrsim's default.
    void startRadio(const QStringList& options) {
        sim_ = std::make_unique<Tvrsim>(options);
        QVERIFY(sim_->ready());
        SetPinnedPorts({sim_->path()});
        link_ = std::make_unique<SerialLink>(OpenQtSerialDevice);
        QVERIFY(link_->OpenPortByName(1));
        link_->BaudIndex = 4;
        link_->ParityIndex = 0;
        QVERIFY(link_->ApplyPortSettings());
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
        sim_.reset();
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
