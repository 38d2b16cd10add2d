#include <QApplication>
#include <QByteArray>
#include <QComboBox>
#include <QLineEdit>
#include <QTest>
#include <array>
#include <memory>

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

std::unique_ptr<QComboBox> Combo(const QStringList& entries) {
    auto combo = std::make_unique<QComboBox>();
    combo->addItems(entries);
    combo->setCurrentIndex(-1);
    return combo;
}

QByteArray Sent(const std::array<uint8_t, 100>& frame) {
    return QByteArray(reinterpret_cast<const char*>(frame.data()), frame[2] + 4);
}
}  // namespace

// The parameter controls of the main window, standing alone.
class ParamGlueTest : public QObject {
    Q_OBJECT
    std::unique_ptr<QComboBox> chnn, airBaud, serBaud, parity;
    std::unique_ptr<QLineEdit> modelVer, id;
    QString panel0;
    QList<Message> shown;

    void Decode(int step, const char* reply) {
        const QByteArray bytes = Hex(reply);
        DecodeReply(step, Bytes(bytes), bytes.size());
        QVERIFY(SendReady);
    }

    std::array<uint8_t, 100> Encode(int step, bool expectSent = true) {
        std::array<uint8_t, 100> frame{};
        const uint8_t* start = WriteCmdTemplate(step);
        std::copy(start, start + 5, frame.begin());
        [&] { QCOMPARE(EncodeWritePayload(step, frame.data()), expectSent); }();
        return frame;
    }

    static const uint8_t* WriteCmdTemplate(int step) {
        static const uint8_t templates[4][5] = {{0x55, 0xAA, 0x03, 0x03, 0x00},
                                                {0x55, 0xAA, 0x04, 0x09, 0x00},
                                                {0x55, 0xAA, 0x03, 0x07, 0x00},
                                                {0x55, 0xAA, 0x03, 0x0F, 0x00}};
        return templates[step];
    }

  private slots:
    void init() {
        QStringList channels;
        for (int i = 1; i <= 12; ++i) channels << QString("NO.%1").arg(i);
        chnn = Combo(channels);
        airBaud = Combo({"1200", "2400", "4800", "9600", "19200", "38400", "76800", "100KBPS",
                         "120KBPS", "56000"});
        airBaud->setEnabled(false);
        serBaud =
            Combo({"600", "1200", "2400", "4800", "9600", "19200", "38400", "57600", "115200"});
        parity = Combo({"N", "O", "E"});
        modelVer = std::make_unique<QLineEdit>();
        id = std::make_unique<QLineEdit>();
        panel0.clear();
        shown.clear();
        SetMessagePresenter([this](const Message& m) {
            shown << m;
            return MessageAnswer::Ok;
        });
        SetParameterControls({chnn.get(), airBaud.get(), serBaud.get(), parity.get(),
                              modelVer.get(), id.get(), [this] { return panel0; },
                              [this](const QString& text) { panel0 = text; }});
        RadioPara = RadioParameters{};
        SendReady = false;
    }

    void cleanup() { SetMessagePresenter(nullptr); }

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
        panel0 = "before";
        SendReady = !accepted;
        CheckModelReply(Bytes(reply), reply.size());
        QCOMPARE(SendReady, accepted);
        QCOMPARE(panel0, panel);
    }

    void readStepZeroCopiesThePanelAndEnablesTheAirRate_data() {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<bool>("enabled");
        QTest::newRow("model 5") << Hex("55 AA 04 10 05 23 00 3C") << true;
        QTest::newRow("model 200") << Hex("55 AA 04 10 C8 23 00 FF") << true;
        QTest::newRow("model 10 keeps it disabled") << Hex("55 AA 04 10 0A 23 00 41") << false;
    }
    void readStepZeroCopiesThePanelAndEnablesTheAirRate() {
        QFETCH(QByteArray, reply);
        QFETCH(bool, enabled);
        const QByteArray connect = Hex("55 AA 04 10 05 23 00 3C");
        CheckModelReply(Bytes(connect), connect.size());
        DecodeReply(0, Bytes(reply), reply.size());
        QVERIFY(SendReady);
        QCOMPARE(modelVer->text(), QString("TVR-M402.3"));
        QCOMPARE(panel0, QString("TVR-M402.3"));
        QCOMPARE(airBaud->isEnabled(), enabled);
    }

    void invalidReplyChangesNoControl() {
        SendReady = true;
        const QByteArray reply = Hex("55 AA 04 10 05 23 00 3D");
        DecodeReply(0, Bytes(reply), reply.size());
        QVERIFY(!SendReady);
        QVERIFY(modelVer->text().isEmpty());
        QVERIFY(!airBaud->isEnabled());
    }

    void shownChannel_data() {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<int>("position");
        QTest::newRow("0 shows NO.1") << Hex("55 AA 03 08 00 00 0B") << 0;
        QTest::newRow("17 shows NO.1") << Hex("55 AA 03 08 11 00 1C") << 0;
        QTest::newRow("255 shows NO.1") << Hex("55 AA 03 08 FF 01 0A") << 0;
        QTest::newRow("12 shows NO.12") << Hex("55 AA 03 08 0C 00 17") << 11;
        QTest::newRow("13 selects nothing") << Hex("55 AA 03 08 0D 00 18") << -1;
    }
    void shownChannel() {
        QFETCH(QByteArray, reply);
        QFETCH(int, position);
        chnn->setCurrentIndex(5);
        DecodeReply(2, Bytes(reply), reply.size());
        ShowRadioPara(4, 0);
        QCOMPARE(chnn->currentIndex(), position);
    }

    void shownAirRate_data() {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<int>("position");
        QTest::newRow("0 shows 2400") << Hex("55 AA 03 04 00 00 07") << 1;
        QTest::newRow("10 shows 56000") << Hex("55 AA 03 04 0A 00 11") << 9;
        QTest::newRow("11 selects nothing") << Hex("55 AA 03 04 0B 00 12") << -1;
        QTest::newRow("12 shows 2400") << Hex("55 AA 03 04 0C 00 13") << 1;
    }
    void shownAirRate() {
        QFETCH(QByteArray, reply);
        QFETCH(int, position);
        airBaud->setCurrentIndex(5);
        DecodeReply(1, Bytes(reply), reply.size());
        ShowRadioPara(4, 0);
        QCOMPARE(airBaud->currentIndex(), position);
    }

    void shownIdentityAndSerialSettings_data() {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QString>("text");
        QTest::newRow("12 34") << Hex("55 AA 04 0A 12 34 00 54") << "123400";
        QTest::newRow("A0 shows as 00") << Hex("55 AA 04 0A A0 34 00 E2") << "003400";
        QTest::newRow("1A shows as 110") << Hex("55 AA 04 0A 1A 34 00 5C") << "1103400";
    }
    void shownIdentityAndSerialSettings() {
        QFETCH(QByteArray, reply);
        QFETCH(QString, text);
        id->setText("999999");
        DecodeReply(3, Bytes(reply), reply.size());
        ShowRadioPara(8, 2);
        QCOMPARE(id->text(), text);
        QCOMPARE(serBaud->currentText(), QString("115200"));
        QCOMPARE(parity->currentText(), QString("E"));
    }

    void readThenWriteRoundTrip() {
        Decode(1, "55 AA 03 04 05 00 0C");
        Decode(2, "55 AA 03 08 07 00 12");
        Decode(3, "55 AA 04 0A 43 21 00 72");
        ShowRadioPara(1, 1);
        QCOMPARE(Sent(Encode(0)), Hex("55 AA 03 03 05 00 0B"));
        QCOMPARE(Sent(Encode(1)), Hex("55 AA 04 09 43 21 00 71"));
        QCOMPARE(Sent(Encode(2)), Hex("55 AA 03 07 07 00 11"));
        QCOMPARE(Sent(Encode(3)), Hex("55 AA 03 0F 12 00 24"));
        QVERIFY(shown.isEmpty());
    }

    void writtenBytes_data() {
        QTest::addColumn<int>("step");
        QTest::addColumn<int>("position");
        QTest::addColumn<int>("parityPosition");
        QTest::addColumn<QString>("idText");
        QTest::addColumn<QByteArray>("frame");
        QTest::newRow("56000 writes 1") << 0 << 9 << 0 << "" << Hex("55 AA 03 03 01 00 07");
        QTest::newRow("120KBPS writes 9") << 0 << 8 << 0 << "" << Hex("55 AA 03 03 09 00 0F");
        QTest::newRow("0815 and blanks")
            << 1 << 0 << 0 << "0815  " << Hex("55 AA 04 09 08 15 00 2A");
        QTest::newRow("unselected channel writes 0")
            << 2 << -1 << 0 << "" << Hex("55 AA 03 07 00 00 0A");
        QTest::newRow("9600 odd") << 3 << 4 << 1 << "" << Hex("55 AA 03 0F 15 00 27");
        QTest::newRow("600 even") << 3 << 0 << 2 << "" << Hex("55 AA 03 0F 01 00 13");
        QTest::newRow("115200 even") << 3 << 8 << 2 << "" << Hex("55 AA 03 0F 29 00 3B");
    }
    void writtenBytes() {
        QFETCH(int, step);
        QFETCH(int, position);
        QFETCH(int, parityPosition);
        QFETCH(QString, idText);
        QFETCH(QByteArray, frame);
        QComboBox* control[] = {airBaud.get(), nullptr, chnn.get(), serBaud.get()};
        if (control[step]) control[step]->setCurrentIndex(position);
        parity->setCurrentIndex(parityPosition);
        id->setText(idText);
        QCOMPARE(Sent(Encode(step)), frame);
    }

    void channelThirteenReadWritesZero() {
        Decode(2, "55 AA 03 08 0D 00 18");
        ShowRadioPara(4, 0);
        QCOMPARE(Sent(Encode(2)), Hex("55 AA 03 07 00 00 0A"));
    }

    void shortIdentityIsReportedAndNotSent() {
        id->setText("123");
        const auto frame = Encode(1, false);
        QCOMPARE(Sent(frame), Hex("55 AA 04 09 00 00 00 00"));
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].kind, MessageKind::ErrorReport);
        QVERIFY(shown[0].text.contains("ID"));
    }
};

QTEST_MAIN(ParamGlueTest)
#include "paramglue_test.moc"
