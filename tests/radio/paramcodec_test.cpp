#include <QByteArray>
#include <QTest>
#include <array>

#include "radio/paramcodec.h"

namespace {
QByteArray Hex(const char* text) {
    return QByteArray::fromHex(text);
}
const uint8_t* Bytes(const QByteArray& a) {
    return reinterpret_cast<const uint8_t*>(a.data());
}

// A parameter set whose every field is a marker no reply in these tests carries.
RadioParameters Marked() {
    RadioParameters p;
    p.Chnn = 0xE1;
    p.AirBaudIdx = 0xE2;
    p.ModelCode = 0xE3;
    p.VerCode = 0xE4;
    p.IdCode[0] = 0xE5;
    p.IdCode[1] = 0xE6;
    return p;
}

QList<int> Fields(const RadioParameters& p) {
    return {p.Chnn, p.AirBaudIdx, p.ModelCode, p.VerCode, p.IdCode[0], p.IdCode[1]};
}
}  // namespace

class ParamCodecTest : public QObject {
    Q_OBJECT
  private slots:
    void channelFromRadio_data() {
        QTest::addColumn<int>("chnn");
        QTest::addColumn<int>("corrected");
        QTest::addColumn<int>("position");
        QTest::newRow("0") << 0 << 1 << 0;
        QTest::newRow("1") << 1 << 1 << 0;
        QTest::newRow("12") << 12 << 12 << 11;
        QTest::newRow("13 past the list") << 13 << 13 << 12;
        QTest::newRow("16") << 16 << 16 << 15;
        QTest::newRow("17") << 17 << 1 << 0;
        QTest::newRow("255") << 255 << 1 << 0;
    }
    void channelFromRadio() {
        QFETCH(int, chnn);
        QFETCH(int, corrected);
        QFETCH(int, position);
        QCOMPARE(int{CorrectedChannel(chnn)}, corrected);
        QCOMPARE(ChannelPosition(CorrectedChannel(chnn)), position);
    }

    void listPositionToCode_data() {
        QTest::addColumn<int>("position");
        QTest::addColumn<int>("channel");
        QTest::addColumn<int>("airRate");
        QTest::addColumn<int>("serialBaud");
        QTest::newRow("no selection") << -1 << 0 << 0 << 0;
        QTest::newRow("0") << 0 << 1 << 1 << 1;
        QTest::newRow("4") << 4 << 5 << 5 << 5;
        QTest::newRow("8") << 8 << 9 << 9 << 9;
        QTest::newRow("9: 56000 writes 1") << 9 << 10 << 1 << 10;
        QTest::newRow("10") << 10 << 11 << 1 << 2;
        QTest::newRow("11") << 11 << 12 << 1 << 2;
        QTest::newRow("32") << 32 << 33 << 1 << 2;
        QTest::newRow("33") << 33 << 1 << 1 << 2;
        QTest::newRow("300") << 300 << 1 << 1 << 2;
    }
    void listPositionToCode() {
        QFETCH(int, position);
        QFETCH(int, channel);
        QFETCH(int, airRate);
        QFETCH(int, serialBaud);
        QCOMPARE(int{ChannelCode(position)}, channel);
        QCOMPARE(int{AirBaudCode(position)}, airRate);
        QCOMPARE(int{SerialBaudCode(position)}, serialBaud);
    }

    void airRateFromRadio_data() {
        QTest::addColumn<int>("code");
        QTest::addColumn<int>("stored");
        QTest::addColumn<int>("shown");
        QTest::newRow("0 wraps, shown as 2400") << 0 << 255 << 1;
        QTest::newRow("1") << 1 << 0 << 0;
        QTest::newRow("9") << 9 << 8 << 8;
        QTest::newRow("10 is 56000") << 10 << 9 << 9;
        QTest::newRow("11 past the list") << 11 << 10 << 10;
        QTest::newRow("12") << 12 << 11 << 1;
        QTest::newRow("255") << 255 << 254 << 1;
    }
    void airRateFromRadio() {
        QFETCH(int, code);
        QFETCH(int, stored);
        QFETCH(int, shown);
        QCOMPARE(int{AirBaudIdxFromCode(code)}, stored);
        QCOMPARE(int{CorrectedAirBaudIdx(AirBaudIdxFromCode(code))}, shown);
    }

    void serialByte_data() {
        QTest::addColumn<int>("baud");
        QTest::addColumn<int>("parity");
        QTest::addColumn<int>("byte");
        QTest::newRow("9600 odd") << 4 << 1 << 0x15;
        QTest::newRow("9600 none") << 4 << 0 << 0x05;
        QTest::newRow("600 even gets no parity") << 0 << 2 << 0x01;
        QTest::newRow("600 odd gets no parity") << 0 << 1 << 0x01;
        QTest::newRow("115200 even") << 8 << 2 << 0x29;
        QTest::newRow("1200 odd") << 1 << 1 << 0x12;
        QTest::newRow("past the list, even") << 10 << 2 << 0x22;
        QTest::newRow("nothing selected") << -1 << -1 << 0x00;
        QTest::newRow("no rate, odd") << -1 << 1 << 0x10;
        QTest::newRow("unknown parity position") << 4 << 3 << 0x05;
    }
    void serialByte() {
        QFETCH(int, baud);
        QFETCH(int, parity);
        QFETCH(int, byte);
        QCOMPARE(int{SerialByte(baud, parity)}, byte);
    }

    void idTextFromBytes_data() {
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("second");
        QTest::addColumn<QString>("text");
        QTest::newRow("12 34") << 0x12 << 0x34 << "123400";
        QTest::newRow("00 00") << 0x00 << 0x00 << "000000";
        QTest::newRow("99 09") << 0x99 << 0x09 << "990900";
        QTest::newRow("1A nibble above 9") << 0x1A << 0x34 << "1103400";
        QTest::newRow("8F 01") << 0x8F << 0x01 << "8150100";
    }
    void idTextFromBytes() {
        QFETCH(int, first);
        QFETCH(int, second);
        QFETCH(QString, text);
        const uint8_t id[2] = {uint8_t(first), uint8_t(second)};
        QCOMPARE(QString::fromStdString(IdText(id)), text);
    }

    void storedIdByte_data() {
        QTest::addColumn<int>("received");
        QTest::addColumn<int>("stored");
        QTest::newRow("00") << 0x00 << 0x00;
        QTest::newRow("1A") << 0x1A << 0x1A;
        QTest::newRow("99") << 0x99 << 0x99;
        QTest::newRow("9A") << 0x9A << 0x00;
        QTest::newRow("A0") << 0xA0 << 0x00;
        QTest::newRow("FF") << 0xFF << 0x00;
    }
    void storedIdByte() {
        QFETCH(int, received);
        QFETCH(int, stored);
        QCOMPARE(int{StoredIdByte(received)}, stored);
    }

    void idBytesFromText_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("second");
        QTest::newRow("1234") << "1234" << true << 0x12 << 0x34;
        QTest::newRow("123400") << "123400" << true << 0x12 << 0x34;
        QTest::newRow("0815 and two blanks") << "0815  " << true << 0x08 << 0x15;
        QTest::newRow("9999") << "9999" << true << 0x99 << 0x99;
        QTest::newRow("letters by the same arithmetic") << "abcd" << true << 0x42 << 0x64;
        QTest::newRow("blanks wrap below zero") << "    " << true << 0xF0 << 0xF0;
        QTest::newRow("wide character") << QString::fromUtf8("中000") << true << 0xD0 << 0x00;
        QTest::newRow("three characters") << "123" << false << 0 << 0;
        QTest::newRow("empty") << "" << false << 0 << 0;
    }
    void idBytesFromText() {
        QFETCH(QString, text);
        QFETCH(bool, accepted);
        QFETCH(int, first);
        QFETCH(int, second);
        const std::u16string wide = text.toStdU16String();
        // Exactly as long as the text, so a read past it is caught by the sanitizer.
        const auto bytes = IdBytesFromText(std::u16string_view(wide.data(), wide.size()));
        QCOMPARE(bytes.has_value(), accepted);
        if (accepted) {
            QCOMPARE(int{(*bytes)[0]}, first);
            QCOMPARE(int{(*bytes)[1]}, second);
        }
    }

    void modelVersionText_data() {
        QTest::addColumn<int>("version");
        QTest::addColumn<QString>("text");
        QTest::newRow("12") << 0x12 << "TVR-M401.2";
        QTest::newRow("0A") << 0x0A << "TVR-M400.10";
        QTest::newRow("23") << 0x23 << "TVR-M402.3";
        QTest::newRow("00") << 0x00 << "TVR-M400.0";
        QTest::newRow("FF") << 0xFF << "TVR-M4015.15";
    }
    void modelVersionText() {
        QFETCH(int, version);
        QFETCH(QString, text);
        QCOMPARE(QString::fromStdString(ModelVersionText(version)), text);
    }

    void judgeModelReply_data() {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<QList<int>>("fields");
        const QList<int> untouched = Fields(Marked());
        QTest::newRow("model 5 version 12") << Hex("55 AA 04 10 05 12 00 2B") << true
                                            << QList<int>{0xE1, 0xE2, 5, 0x12, 0xE5, 0xE6};
        QTest::newRow("model 10") << Hex("55 AA 04 10 0A 23 00 41") << true
                                  << QList<int>{0xE1, 0xE2, 10, 0x23, 0xE5, 0xE6};
        QTest::newRow("model 16 is the last accepted")
            << Hex("55 AA 04 10 10 23 00 47") << true
            << QList<int>{0xE1, 0xE2, 16, 0x23, 0xE5, 0xE6};
        QTest::newRow("model 17 refused, codes kept")
            << Hex("55 AA 04 10 11 23 00 48") << false
            << QList<int>{0xE1, 0xE2, 17, 0x23, 0xE5, 0xE6};
        QTest::newRow("bad checksum") << Hex("55 AA 04 10 05 12 00 2C") << false << untouched;
        QTest::newRow("stray byte ahead")
            << Hex("00 55 AA 04 10 05 12 00 2B") << false << untouched;
        QTest::newRow("not all arrived") << Hex("55 AA 04 10 05 12 00") << false << untouched;
    }
    void judgeModelReply() {
        QFETCH(QByteArray, reply);
        QFETCH(bool, accepted);
        QFETCH(QList<int>, fields);
        RadioParameters para = Marked();
        QCOMPARE(JudgeModelReply(Bytes(reply), reply.size(), para), accepted);
        QCOMPARE(Fields(para), fields);
    }

    void decodeReadReply_data() {
        QTest::addColumn<int>("step");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<QList<int>>("fields");
        const QList<int> untouched = Fields(Marked());
        QTest::newRow("0 model and version") << 0 << Hex("55 AA 04 10 05 12 00 2B") << true
                                             << QList<int>{0xE1, 0xE2, 5, 0x12, 0xE5, 0xE6};
        QTest::newRow("0 model above 16 accepted") << 0 << Hex("55 AA 04 10 11 23 00 48") << true
                                                   << QList<int>{0xE1, 0xE2, 17, 0x23, 0xE5, 0xE6};
        QTest::newRow("1 air rate 11") << 1 << Hex("55 AA 03 04 0B 00 12") << true
                                       << QList<int>{0xE1, 10, 0xE3, 0xE4, 0xE5, 0xE6};
        QTest::newRow("1 air rate 0") << 1 << Hex("55 AA 03 04 00 00 07") << true
                                      << QList<int>{0xE1, 255, 0xE3, 0xE4, 0xE5, 0xE6};
        QTest::newRow("2 channel 13") << 2 << Hex("55 AA 03 08 0D 00 18") << true
                                      << QList<int>{13, 0xE2, 0xE3, 0xE4, 0xE5, 0xE6};
        QTest::newRow("3 identity 12 34") << 3 << Hex("55 AA 04 0A 12 34 00 54") << true
                                          << QList<int>{0xE1, 0xE2, 0xE3, 0xE4, 0x12, 0x34};
        QTest::newRow("3 identity A0 stored as 0") << 3 << Hex("55 AA 04 0A A0 99 01 47") << true
                                                   << QList<int>{0xE1, 0xE2, 0xE3, 0xE4, 0, 0x99};
        QTest::newRow("3 reply code of step 0") << 3 << Hex("55 AA 04 10 12 34 00 5A") << true
                                                << QList<int>{0xE1, 0xE2, 0xE3, 0xE4, 0x12, 0x34};
        QTest::newRow("4 stores nothing")
            << 4 << Hex("55 AA 04 0A 12 34 00 54") << true << untouched;
        QTest::newRow("-1 stores nothing")
            << -1 << Hex("55 AA 04 0A 12 34 00 54") << true << untouched;
        QTest::newRow("2 bad checksum") << 2 << Hex("55 AA 03 08 0D 00 19") << false << untouched;
        QTest::newRow("3 not all arrived")
            << 3 << Hex("55 AA 04 0A 12 34 00") << false << untouched;
        QTest::newRow("0 length byte 2")
            << 0 << Hex("55 AA 02 20 00 22 00 00") << false << untouched;
    }
    void decodeReadReply() {
        QFETCH(int, step);
        QFETCH(QByteArray, reply);
        QFETCH(bool, valid);
        QFETCH(QList<int>, fields);
        RadioParameters para = Marked();
        QCOMPARE(DecodeReadReply(step, Bytes(reply), reply.size(), para), valid);
        QCOMPARE(Fields(para), fields);
    }

    void prepareDisplayCorrectsTheSet() {
        RadioParameters para;
        para.Chnn = 17;
        para.AirBaudIdx = 255;
        para.IdCode[0] = 0x12;
        para.IdCode[1] = 0x34;
        const DisplayedParameters shown = PrepareDisplay(para);
        QCOMPARE(shown.channelPosition, 0);
        QCOMPARE(shown.airBaudPosition, 1);
        QCOMPARE(QString::fromStdString(shown.idText), QString("123400"));
        QCOMPARE(int{para.Chnn}, 1);
        QCOMPARE(int{para.AirBaudIdx}, 1);
    }

    void fillWritePayload_data() {
        QTest::addColumn<int>("step");
        QTest::addColumn<int>("airBaud");
        QTest::addColumn<int>("channel");
        QTest::addColumn<QString>("id");
        QTest::addColumn<QByteArray>("frame");
        QTest::newRow("air 120KBPS") << 0 << 8 << 0 << "" << Hex("55 AA 03 03 09 00 0F");
        QTest::newRow("air 56000") << 0 << 9 << 0 << "" << Hex("55 AA 03 03 01 00 07");
        QTest::newRow("air nothing selected") << 0 << -1 << 0 << "" << Hex("55 AA 03 03 00 00 06");
        QTest::newRow("identity 99 99") << 1 << 0 << 0 << "9999" << Hex("55 AA 04 09 99 99 01 3F");
        QTest::newRow("identity 0815") << 1 << 0 << 0 << "0815  " << Hex("55 AA 04 09 08 15 00 2A");
        QTest::newRow("channel NO.12") << 2 << 0 << 11 << "" << Hex("55 AA 03 07 0C 00 16");
        QTest::newRow("channel unselected") << 2 << 0 << -1 << "" << Hex("55 AA 03 07 00 00 0A");
        QTest::newRow("other step only completes")
            << 7 << 0 << 0 << "" << Hex("55 AA 03 0F 00 00 12");
    }
    void fillWritePayload() {
        QFETCH(int, step);
        QFETCH(int, airBaud);
        QFETCH(int, channel);
        QFETCH(QString, id);
        QFETCH(QByteArray, frame);
        const QByteArray templates[] = {Hex("55 AA 03 03 00"), Hex("55 AA 04 09 00"),
                                        Hex("55 AA 03 07 00"), Hex("55 AA 03 0F 00")};
        std::array<uint8_t, 100> buffer{};
        const QByteArray& start = templates[step >= 0 && step < 4 ? step : 3];
        std::copy(start.begin(), start.end(), buffer.begin());
        WriteSelection selection;
        selection.airBaudPosition = airBaud;
        selection.channelPosition = channel;
        selection.idText = id.toStdU16String();
        QVERIFY(FillWritePayload(step, selection, buffer.data()));
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(buffer.data()), frame.size()), frame);
    }

    void fillWritePayloadRefusesAShortIdentity() {
        std::array<uint8_t, 100> buffer{0x55, 0xAA, 0x04, 0x09, 0x00};
        const auto before = buffer;
        WriteSelection selection;
        selection.idText = u"123";
        QVERIFY(!FillWritePayload(1, selection, buffer.data()));
        QCOMPARE(buffer, before);
        // Only the identity step needs the text.
        QVERIFY(FillWritePayload(2, selection, buffer.data()));
    }
};

QTEST_APPLESS_MAIN(ParamCodecTest)
#include "paramcodec_test.moc"
