#include <QByteArray>
#include <QTest>
#include <array>

#include "radio/paramcodec.h"
#include "radio/paramglue.h"
#include "tests/support/bytes.h"

namespace {

// Where the parameter set goes, as plain values the way the main window's lists hold them.
struct ViewRecorder : ParameterView {
    QString panel0 = "before";
    QString modelField;
    bool airRateEnabled = false;
    ShownParameters shown;
    void showModelVersion(const QString& text) override { panel0 = text; }
    QString modelVersionShown() const override { return panel0; }
    void showModelField(const QString& text) override { modelField = text; }
    void enableAirRate() override { airRateEnabled = true; }
    void showParameters(const ShownParameters& s) override { shown = s; }
    void clearReadResults() override {}
};

const QStringList AirRates = {"1200",  "2400",  "4800",    "9600",    "19200",
                              "38400", "76800", "100KBPS", "120KBPS", "56000"};
}  // namespace

class ParamGlueTest : public QObject {
    Q_OBJECT
    ViewRecorder view;
    RadioParameterSet para;
    bool verdict = false;

    // The write frame of `step` as the sequencer would send it (length byte + 4 bytes).
    static QByteArray Encoded(int step, const WriteSelection& values) {
        const QByteArray templates[] = {Hex("55 AA 03 03 00"), Hex("55 AA 04 09 00"),
                                        Hex("55 AA 03 07 00"), Hex("55 AA 03 0F 00")};
        std::array<uint8_t, 100> frame{};
        std::copy(templates[step].begin(), templates[step].end(), frame.begin());
        if (!EncodeWritePayload(step, values, frame.data())) return "nothing sent";
        return QByteArray(reinterpret_cast<char*>(frame.data()), frame[2] + 4);
    }

    void Receive(int step, const QByteArray& reply) {
        verdict = DecodeReply(view, para, step, Bytes(reply), reply.size());
    }

  private slots:
    void init() {
        view = ViewRecorder{};
        para = RadioParameterSet{};
        verdict = false;
    }

    void connectReplyShowsModelAndVersion_data() {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<QString>("panel");
        QTest::newRow("version 23") << Hex("55 AA 04 10 05 23 00 3C") << true << "TVR-M402.3";
        QTest::newRow("version 0A") << Hex("55 AA 04 10 05 0A 00 23") << true << "TVR-M400.10";
        QTest::newRow("model 17 refused") << Hex("55 AA 04 10 11 23 00 48") << false << "before";
        QTest::newRow("bad checksum") << Hex("55 AA 04 10 05 23 00 3D") << false << "before";
    }
    void connectReplyShowsModelAndVersion() {
        QFETCH(QByteArray, reply);
        QFETCH(bool, accepted);
        QFETCH(QString, panel);
        QCOMPARE(CheckModelReply(view, para, Bytes(reply), reply.size()), accepted);
        QCOMPARE(view.panel0, panel);
    }

    void readStepZero_data() {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<bool>("airRateEnabled");
        QTest::newRow("model 5") << Hex("55 AA 04 10 05 23 00 3C") << true << true;
        QTest::newRow("model 200") << Hex("55 AA 04 10 C8 23 00 FF") << true << true;
        QTest::newRow("model 10") << Hex("55 AA 04 10 0A 23 00 41") << true << false;
        QTest::newRow("bad checksum") << Hex("55 AA 04 10 05 23 00 3D") << false << false;
    }
    void readStepZero() {
        QFETCH(QByteArray, reply);
        QFETCH(bool, valid);
        QFETCH(bool, airRateEnabled);
        const QByteArray connect = Hex("55 AA 04 10 05 23 00 3C");
        CheckModelReply(view, para, Bytes(connect), connect.size());
        Receive(0, reply);
        QCOMPARE(verdict, valid);
        QCOMPARE(view.modelField, QString(valid ? "TVR-M402.3" : ""));
        QCOMPARE(view.airRateEnabled, airRateEnabled);
    }

    // Each read step's reply, as its list shows it; the serial settings are those given. A
    // value no list knows shows nothing, and the radio's own value stays beside it.
    void shownAfterRead_data() {
        QTest::addColumn<int>("step");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QString>("text");
        QTest::newRow("channel 0") << 2 << Hex("55 AA 03 08 00 00 0B") << "";
        QTest::newRow("channel 17") << 2 << Hex("55 AA 03 08 11 00 1C") << "";
        QTest::newRow("channel 12") << 2 << Hex("55 AA 03 08 0C 00 17") << "NO.12";
        QTest::newRow("channel 13") << 2 << Hex("55 AA 03 08 0D 00 18") << "";
        QTest::newRow("air 0") << 1 << Hex("55 AA 03 04 00 00 07") << "";
        QTest::newRow("air 10") << 1 << Hex("55 AA 03 04 0A 00 11") << "56000";
        QTest::newRow("air 11") << 1 << Hex("55 AA 03 04 0B 00 12") << "";
        QTest::newRow("air 12") << 1 << Hex("55 AA 03 04 0C 00 13") << "";
        QTest::newRow("identity 12 34") << 3 << Hex("55 AA 04 0A 12 34 00 54") << "123400";
        QTest::newRow("identity A0 34") << 3 << Hex("55 AA 04 0A A0 34 00 E2") << "";
        QTest::newRow("identity 1A 34") << 3 << Hex("55 AA 04 0A 1A 34 00 5C") << "";
    }
    void shownAfterRead() {
        QFETCH(int, step);
        QFETCH(QByteArray, reply);
        QFETCH(QString, text);
        para.Chnn = 6;
        para.AirBaudIdx = 5;
        Receive(step, reply);
        QVERIFY(verdict);
        ShowRadioPara(view, para, 8, 2);
        const ShownParameters& shown = view.shown;
        const auto entry = [](const QStringList& list, int position) {
            return position >= 0 && position < list.size() ? list[position] : QString();
        };
        const QString listText[] = {"", entry(AirRates, shown.airBaudPosition),
                                    shown.channelPosition >= 0 && shown.channelPosition < 12
                                        ? QString("NO.%1").arg(shown.channelPosition + 1)
                                        : QString(),
                                    shown.idText};
        QCOMPARE(listText[step], text);
        QCOMPARE(shown.serialBaudPosition, 8);
        QCOMPARE(shown.parityPosition, 2);
        const int raw[] = {0, shown.raw.airRateCode, shown.raw.channel, shown.raw.id[0]};
        QCOMPARE(raw[step], int(uint8_t(reply[4])));
    }

    // What the radio will hold after a write: 56000 goes out as the code of 1200, and 600 bit/s
    // takes no parity; a summary of the write compares these with what was read.
    void expectedReadingOfAWrite() {
        const ShownParameters expected = ExpectedReading({9, 13, 0, 2, u"0815"});
        QCOMPARE(expected.airBaudPosition, 0);
        QCOMPARE(expected.channelPosition, 13);
        QCOMPARE(expected.parityPosition, 0);
        QCOMPARE(expected.idText, QStringLiteral("081500"));
        QCOMPARE(expected.raw, (RawRadioValues{14, 1, {0x08, 0x15}}));
    }

    void writtenFrames_data() {
        QTest::addColumn<int>("step");
        QTest::addColumn<int>("position");
        QTest::addColumn<int>("parityPosition");
        QTest::addColumn<QString>("idText");
        QTest::addColumn<QByteArray>("frame");
        QTest::newRow("56000") << 0 << 9 << 0 << "" << Hex("55 AA 03 03 01 00 07");
        QTest::newRow("120KBPS") << 0 << 8 << 0 << "" << Hex("55 AA 03 03 09 00 0F");
        QTest::newRow("0815 and blanks")
            << 1 << 0 << 0 << "0815  " << Hex("55 AA 04 09 08 15 00 2A");
        QTest::newRow("NO.12") << 2 << 11 << 0 << "" << Hex("55 AA 03 07 0C 00 16");
        QTest::newRow("9600 odd") << 3 << 4 << 1 << "" << Hex("55 AA 03 0F 15 00 27");
        QTest::newRow("600 even") << 3 << 0 << 2 << "" << Hex("55 AA 03 0F 01 00 13");
        QTest::newRow("115200 even") << 3 << 8 << 2 << "" << Hex("55 AA 03 0F 29 00 3B");
    }
    void writtenFrames() {
        QFETCH(int, step);
        QFETCH(int, position);
        QFETCH(int, parityPosition);
        QFETCH(QString, idText);
        QFETCH(QByteArray, frame);
        WriteSelection values{position, position, position, parityPosition,
                              idText.toStdU16String()};
        QCOMPARE(Encoded(step, values), frame);
    }

    void shortIdentityIsNotSent() {
        QCOMPARE(Encoded(1, {0, 0, 0, 0, u"123"}), QByteArray("nothing sent"));
    }

    // A write refuses the first value it lacks, in the order of its steps.
    void missingWriteValues_data() {
        QTest::addColumn<int>("air");
        QTest::addColumn<int>("channel");
        QTest::addColumn<int>("serial");
        QTest::addColumn<int>("parity");
        QTest::addColumn<QString>("id");
        QTest::addColumn<int>("missing");  // -1: nothing
        QTest::newRow("complete") << 3 << 0 << 4 << 0 << "123400" << -1;
        QTest::newRow("56000 and four digits only") << 9 << 11 << 8 << 2 << "0815" << -1;
        QTest::newRow("everything missing")
            << -1 << -1 << -1 << -1 << "" << int(MissingValue::AirRate);
        QTest::newRow("air rate") << -1 << 0 << 4 << 0 << "123400" << int(MissingValue::AirRate);
        QTest::newRow("identity empty") << 3 << 0 << 4 << 0 << "" << int(MissingValue::Identity);
        QTest::newRow("identity blanks")
            << 3 << 0 << 4 << 0 << "12 4" << int(MissingValue::Identity);
        QTest::newRow("channel 13") << 3 << -1 << 4 << 0 << "123400" << int(MissingValue::Channel);
        QTest::newRow("serial rate")
            << 3 << 0 << -1 << 0 << "123400" << int(MissingValue::SerialRate);
        QTest::newRow("parity") << 3 << 0 << 4 << -1 << "123400" << int(MissingValue::Parity);
    }
    void missingWriteValues() {
        QFETCH(int, air);
        QFETCH(int, channel);
        QFETCH(int, serial);
        QFETCH(int, parity);
        QFETCH(QString, id);
        QFETCH(int, missing);
        const auto found = MissingWriteValue({air, channel, serial, parity, id.toStdU16String()});
        QCOMPARE(found ? int(*found) : -1, missing);
    }
};

QTEST_GUILESS_MAIN(ParamGlueTest)
#include "paramglue_test.moc"
