// Every outcome of an exchange as each host tells it: the window's messages (caption, text and
// buttons) in English and in Chinese, and tvrctl's exit status and line.

#include <QTest>

#include "app/outcomemessages.h"
#include "tests/support/recorders.h"
#include "tools/tvrctl/options.h"
#include "tools/tvrctl/sessionend.h"

namespace {

// "caption: text", with " [Retry/Cancel]" for a box that asks.
QStringList Shown(const QList<Message>& messages) {
    QStringList lines;
    for (const Message& m : messages) {
        lines << m.caption + ": " + m.text +
                     (m.buttons == MessageButtons::RetryCancel ? " [Retry/Cancel]" : "");
    }
    return lines;
}

// A radio the lists know: channel NO.4, air rate 38400, 19200 bit/s odd, identity 2468.
ShownParameters KnownReading() {
    return {3, 5, 5, 1, QStringLiteral("246800"), {4, 6, {0x24, 0x68}}};
}

struct Row {
    const char* name;
    SequenceResult result;
    SessionState state;
    QStringList english;
    QStringList chinese;
    int status;
    QString line;
};

SequenceResult Outcome(SequenceOutcome outcome) {
    SequenceResult result;
    result.outcome = outcome;
    return result;
}

QList<Row> Rows() {
    using O = SequenceOutcome;
    const SessionState reading;
    const SessionState writing{.writing = true, .stepsAcknowledged = 2};
    QList<Row> rows;

    SequenceResult noPort = Outcome(O::NoPort);
    noPort.portFailure = "COM1 (/dev/ttyUSB0): no such device.";
    rows.append({"no port",
                 noPort,
                 reading,
                 {"CommError: No idle Port!\nCOM1 (/dev/ttyUSB0): no such device."},
                 {"CommError: 无空闲端口!\nCOM1 (/dev/ttyUSB0): no such device."},
                 CtlExit::PortError,
                 "COM1 (/dev/ttyUSB0): no such device."});

    SequenceResult read = Outcome(O::ReadDone);
    read.reading = KnownReading();
    rows.append({"read",
                 read,
                 reading,
                 {"TVR Setup: Read correct!"},
                 {"读参数: 参数读取成功"},
                 CtlExit::Ok,
                 ""});
    read.reading.raw.channel = 200;
    rows.append({"read, a value no list knows",
                 read,
                 reading,
                 {"TVR Setup: Read correct! The radio holds values this program does not know: "
                  "channel 200."},
                 {"读参数: 参数读取成功。电台中有本程序不认识的值：信道号 200。"},
                 CtlExit::Ok,
                 ""});

    rows.append({"connect failed",
                 Outcome(O::ConnectFailed),
                 reading,
                 {"TVR Setup: Connect error!"},
                 {"参数: 检测电台失败"},
                 CtlExit::NoRadio,
                 "no radio found: no answer at any serial setting"});
    rows.append({"connect failed on a plain network connection",
                 Outcome(O::ConnectFailed),
                 {.onlySetting = "9600-N-1"},
                 {"TVR Setup: Connect error!"},
                 {"参数: 检测电台失败"},
                 CtlExit::NoRadio,
                 "no radio found: no answer at 9600-N-1, the one setting a plain network "
                 "connection has"});
    rows.append({"connect failed for a write",
                 Outcome(O::ConnectFailed),
                 writing,
                 {"TVR Setup: Connect error!"},
                 {"参数: 检测电台失败"},
                 CtlExit::ExchangeFailed,
                 "the radio was not found again for the write"});
    rows.append({"read failed",
                 Outcome(O::ReadFailed),
                 reading,
                 {"TVR Setup: Read error!"},
                 {"读参数: 参数读取失败 [Retry/Cancel]"},
                 CtlExit::ExchangeFailed,
                 "read failed: a reply was missing or damaged"});
    rows.append({"write failed",
                 Outcome(O::WriteFailed),
                 writing,
                 {"TVR Setup: Write error!"},
                 {"写参数: 参数设置失败 [Retry/Cancel]"},
                 CtlExit::ExchangeFailed,
                 "write failed: the radio did not acknowledge the channel step"});

    rows.append({"written",
                 Outcome(O::WriteDone),
                 writing,
                 {"TVR Setup: Write correct!"},
                 {"写参数: 参数设置成功"},
                 CtlExit::Ok,
                 ""});
    SequenceResult refusedSettings = Outcome(O::WriteDone);
    refusedSettings.portRefusedSettings = true;
    rows.append({"written, the port refused the new settings",
                 refusedSettings,
                 writing,
                 {"CommError: Port open error!", "TVR Setup: Write correct!"},
                 {"Set_Error: 通讯端口设置错误!", "写参数: 参数设置成功"},
                 CtlExit::Ok,
                 ""});
    rows.append({"written, the port could not follow",
                 Outcome(O::WriteNotFollowed),
                 writing,
                 {"CommError: Port open error!"},
                 {"Set_Error: 通讯端口设置错误!"},
                 CtlExit::ExchangeFailed,
                 "written, but the port could not follow the radio's new serial settings to read "
                 "it back"});
    rows.append({"verified",
                 Outcome(O::WriteVerified),
                 writing,
                 {"TVR Setup: Write correct!"},
                 {"写参数: 参数设置成功"},
                 CtlExit::Ok,
                 ""});
    SequenceResult mismatch = Outcome(O::VerifyFailed);
    mismatch.reading = KnownReading();
    mismatch.written = AsWriteSelection(mismatch.reading);
    mismatch.written.channelPosition = 10;
    rows.append({"verify failed",
                 mismatch,
                 writing,
                 {"TVR Setup: Verify failed: channel written NO.11, radio reports NO.4"},
                 {"写参数: 校验失败：信道号写入 NO.11，电台读出 NO.4"},
                 CtlExit::VerifyMismatch,
                 "Verify failed: channel written NO.11, radio reports NO.4"});
    rows.append({"read-back failed",
                 Outcome(O::VerifyReadFailed),
                 writing,
                 {"TVR Setup: Write not verified: the radio acknowledged the write but did not "
                  "answer the read-back."},
                 {"写参数: 写参数未校验：电台已确认写入，但未响应读回。"},
                 CtlExit::ExchangeFailed,
                 "written, but the read-back found no radio or failed: not verified"});

    const QList<std::tuple<MissingValue, const char*, const char*, const char*>> missing{
        {MissingValue::AirRate, "no air rate selected. Read the radio first.",
         "未选择空中速率，请先读参数。", "--air-rate"},
        {MissingValue::Identity, "the ID code is not four digits. Read the radio first.",
         "ID码不是四位数字，请先读参数。", "--id"},
        {MissingValue::Channel, "no channel selected. Read the radio first.",
         "未选择信道号，请先读参数。", "--channel"},
        {MissingValue::SerialRate, "no serial rate selected. Read the radio first.",
         "未选择串口速率，请先读参数。", "--serial"},
        {MissingValue::Parity, "no parity selected. Read the radio first.",
         "未选择校验方式，请先读参数。", "--serial"}};
    for (const auto& [value, english, chinese, option] : missing) {
        SequenceResult refused = Outcome(O::WriteRefused);
        refused.missing = value;
        rows.append(
            {english,
             refused,
             reading,
             {QString("TVR Setup: Write cancelled: ") + english},
             {QString("写参数: 写参数取消：") + chinese},
             CtlExit::ExchangeFailed,
             QString("not written: no value to send for %1; nothing was sent").arg(option)});
    }
    const QList<
        std::tuple<RadioField, MissingValue, const char*, const char*, const char*, const char*>>
        unlisted{
            {RadioField::Channel, MissingValue::Channel,
             "channel 200, which the list does not offer. Choose a channel first.",
             "信道号 200 不在列表中，请先选择信道号。", "channel 200", "--channel"},
            {RadioField::AirRate, MissingValue::AirRate,
             "air rate code 12, which the list does not offer. Choose an air rate first.",
             "空中速率 代码 12 不在列表中，请先选择空中速率。", "air rate code 12", "--air-rate"},
            {RadioField::Identity, MissingValue::Identity,
             "ID bytes 1A 68, which are not four digits. Load a profile that gives the ID first.",
             "ID码 字节 1A 68 不是四位数字，请先载入给出ID码的参数文件。", "ID bytes 1A 68",
             "--id"}};
    for (const auto& [field, value, english, chinese, held, option] : unlisted) {
        SequenceResult refused = Outcome(O::WriteRefused);
        refused.missing = value;
        refused.unlisted = field;
        refused.reading.raw = {200, 12, {0x1A, 0x68}};
        rows.append({english,
                     refused,
                     reading,
                     {QString("TVR Setup: Write cancelled: the radio holds ") + english},
                     {QString("写参数: 写参数取消：电台中的") + chinese},
                     CtlExit::ExchangeFailed,
                     QString("not written: the radio holds %1, which no list knows; give %2")
                         .arg(held, option)});
    }

    // Ends the user caused: the window says nothing more.
    rows.append({"port closed",
                 Outcome(O::PortClosed),
                 reading,
                 {},
                 {},
                 CtlExit::PortError,
                 "the port went away"});
    rows.append({"interrupted",
                 Outcome(O::Interrupted),
                 {.interruptStatus = 130},
                 {},
                 {},
                 130,
                 "interrupted"});
    return rows;
}

}  // namespace

class OutcomeTextsTest : public QObject {
    Q_OBJECT
  private slots:
    void eachHostTellsEveryOutcome_data() {
        QTest::addColumn<int>("row");
        const QList<Row> rows = Rows();
        for (int i = 0; i < rows.size(); ++i) QTest::newRow(rows[i].name) << i;
    }
    void eachHostTellsEveryOutcome() {
        QFETCH(int, row);
        const Row expected = Rows()[row];
        {
            const LanguageScope english(1);
            QCOMPARE(Shown(SequenceMessages(expected.result)), expected.english);
        }
        {
            const LanguageScope chinese(0);
            QCOMPARE(Shown(SequenceMessages(expected.result)), expected.chinese);
        }
        const SessionEnd end = EndOf(expected.result, expected.state);
        QCOMPARE(end.exitStatus, expected.status);
        QCOMPARE(end.error, expected.line);
    }

    void portLostAndProgressTexts() {
        {
            const LanguageScope english(1);
            QCOMPARE(Shown({PortLostMessage()}), QStringList{"TVR Setup: Port disconnected!"});
            const ProgressTexts connect = ProgressTextsFor(SequencePhase::Connect);
            QCOMPARE(connect.title + " / " + connect.message,
                     QString("Connect / Connecting.Please wait..."));
            const ProgressTexts write = ProgressTextsFor(SequencePhase::Write);
            QCOMPARE(write.title + " / " + write.message,
                     QString("Write / Writing.Please wait..."));
        }
        const LanguageScope chinese(0);
        QCOMPARE(Shown({PortLostMessage()}), QStringList{"CommError: 串口已断开!"});
        const ProgressTexts read = ProgressTextsFor(SequencePhase::Read);
        QCOMPARE(read.title + " / " + read.message, QString("读参数 / 正在读取参数,请稍候......"));
    }
};

QTEST_GUILESS_MAIN(OutcomeTextsTest)
#include "test_outcome_texts.moc"
