#include <QByteArray>
#include <QComboBox>
#include <QLineEdit>
#include <QTest>
#include <array>

#include "core/messages.h"
#include "radio/paramcodec.h"
#include "radio/paramglue.h"
#include "radio/sequencerstate.h"

namespace {
QByteArray Hex(const char* text) {
    return QByteArray::fromHex(text);
}
const uint8_t* Bytes(const QByteArray& a) {
    return reinterpret_cast<const uint8_t*>(a.data());
}

void Fill(QComboBox& combo, const QStringList& entries) {
    combo.addItems(entries);
    combo.setCurrentIndex(-1);
}
}  // namespace

// The main window's parameter controls, standing alone.
class ParamGlueTest : public QObject {
    Q_OBJECT
    QComboBox* chnn;
    QComboBox* airBaud;
    QComboBox* serBaud;
    QComboBox* parity;
    QLineEdit* modelVer;
    QLineEdit* id;
    QString panel0;
    QList<Message> shown;

    // The write frame of `step` as the sequencer would send it (length byte + 4 bytes).
    QByteArray Encoded(int step, bool expectSent = true) {
        const QByteArray templates[] = {Hex("55 AA 03 03 00"), Hex("55 AA 04 09 00"),
                                        Hex("55 AA 03 07 00"), Hex("55 AA 03 0F 00")};
        std::array<uint8_t, 100> frame{};
        std::copy(templates[step].begin(), templates[step].end(), frame.begin());
        const bool sent = EncodeWritePayload(step, frame.data());
        return sent == expectSent ? QByteArray(reinterpret_cast<char*>(frame.data()), frame[2] + 4)
                                  : QByteArray("sent") + (sent ? "" : " nothing");
    }

    void Receive(int step, const QByteArray& reply) {
        SendReady = false;
        DecodeReply(step, Bytes(reply), reply.size());
    }

  private slots:
    void init() {
        chnn = new QComboBox;
        airBaud = new QComboBox;
        serBaud = new QComboBox;
        parity = new QComboBox;
        QStringList channels;
        for (int i = 1; i <= 12; ++i) channels << QString("NO.%1").arg(i);
        Fill(*chnn, channels);
        Fill(*airBaud, {"1200", "2400", "4800", "9600", "19200", "38400", "76800", "100KBPS",
                        "120KBPS", "56000"});
        Fill(*serBaud,
             {"600", "1200", "2400", "4800", "9600", "19200", "38400", "57600", "115200"});
        Fill(*parity, {"N", "O", "E"});
        airBaud->setEnabled(false);
        modelVer = new QLineEdit;
        id = new QLineEdit;
        panel0 = "before";
        shown.clear();
        SetMessagePresenter([this](const Message& m) {
            shown << m;
            return MessageAnswer::Ok;
        });
        SetParameterControls({chnn, airBaud, serBaud, parity, modelVer, id,
                              [this] { return panel0; },
                              [this](const QString& text) { panel0 = text; }});
        RadioPara = RadioParameterSet{};
    }

    void cleanup() {
        SetMessagePresenter(nullptr);
        for (QWidget* w :
             std::initializer_list<QWidget*>{chnn, airBaud, serBaud, parity, modelVer, id})
            delete w;
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
        SendReady = !accepted;
        CheckModelReply(Bytes(reply), reply.size());
        QCOMPARE(SendReady, accepted);
        QCOMPARE(panel0, panel);
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
        CheckModelReply(Bytes(connect), connect.size());
        Receive(0, reply);
        QCOMPARE(SendReady, valid);
        QCOMPARE(modelVer->text(), QString(valid ? "TVR-M402.3" : ""));
        QCOMPARE(airBaud->isEnabled(), airRateEnabled);
    }

    // Each read step's reply, shown in its control; the serial settings are those given.
    void shownAfterRead_data() {
        QTest::addColumn<int>("step");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QString>("text");
        QTest::newRow("channel 0") << 2 << Hex("55 AA 03 08 00 00 0B") << "NO.1";
        QTest::newRow("channel 17") << 2 << Hex("55 AA 03 08 11 00 1C") << "NO.1";
        QTest::newRow("channel 12") << 2 << Hex("55 AA 03 08 0C 00 17") << "NO.12";
        QTest::newRow("channel 13") << 2 << Hex("55 AA 03 08 0D 00 18") << "";
        QTest::newRow("air 0") << 1 << Hex("55 AA 03 04 00 00 07") << "2400";
        QTest::newRow("air 10") << 1 << Hex("55 AA 03 04 0A 00 11") << "56000";
        QTest::newRow("air 11") << 1 << Hex("55 AA 03 04 0B 00 12") << "";
        QTest::newRow("air 12") << 1 << Hex("55 AA 03 04 0C 00 13") << "2400";
        QTest::newRow("identity 12 34") << 3 << Hex("55 AA 04 0A 12 34 00 54") << "123400";
        QTest::newRow("identity A0 34") << 3 << Hex("55 AA 04 0A A0 34 00 E2") << "003400";
        QTest::newRow("identity 1A 34") << 3 << Hex("55 AA 04 0A 1A 34 00 5C") << "1103400";
    }
    void shownAfterRead() {
        QFETCH(int, step);
        QFETCH(QByteArray, reply);
        QFETCH(QString, text);
        chnn->setCurrentIndex(5);
        airBaud->setCurrentIndex(5);
        id->setText("999999");
        Receive(step, reply);
        QVERIFY(SendReady);
        ShowRadioPara(8, 2);
        const QString controlText[] = {"", airBaud->currentText(), chnn->currentText(), id->text()};
        QCOMPARE(controlText[step], text);
        QCOMPARE(serBaud->currentText(), QString("115200"));
        QCOMPARE(parity->currentText(), QString("E"));
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
        QComboBox* control[] = {airBaud, nullptr, chnn, serBaud};
        if (control[step]) control[step]->setCurrentIndex(position);
        parity->setCurrentIndex(parityPosition);
        id->setText(idText);
        QCOMPARE(Encoded(step), frame);
        QVERIFY(shown.isEmpty());
    }

    void channelThirteenIsWrittenAsZero() {
        Receive(2, Hex("55 AA 03 08 0D 00 18"));
        ShowRadioPara(4, 0);
        QCOMPARE(Encoded(2), Hex("55 AA 03 07 00 00 0A"));
    }

    void shortIdentityIsReportedAndNotSent() {
        id->setText("123");
        QCOMPARE(Encoded(1, false), Hex("55 AA 04 09 00 00 00 00"));
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].kind, MessageKind::ErrorReport);
        QCOMPARE(shown[0].text, QString("Invalid ID code! Four digits are needed."));
    }
};

QTEST_MAIN(ParamGlueTest)
#include "paramglue_test.moc"
