#include <QByteArray>
#include <QTest>
#include <array>

#include "radio/paramcodec.h"
#include "tests/support/bytes.h"

namespace {

// Every field holds a marker that no reply in these tests carries.
const RadioParameterSet Marked{0xE1, 0xE2, 0xE3, 0xE4, {0xE5, 0xE6}};

QList<int> Fields(const RadioParameterSet& p) {
    return {p.Chnn, p.AirBaudIdx, p.ModelCode, p.VerCode, p.IdCode[0], p.IdCode[1]};
}
}  // namespace

class ParamCodecTest : public QObject {
    Q_OBJECT
  private slots:
    // A value no list knows leaves its list without a selection, never a default in its place.
    void valueFromRadioToListPosition_data() {
        QTest::addColumn<int>("value");
        QTest::addColumn<int>("channelPosition");
        QTest::addColumn<int>("airBaudIdx");
        QTest::addColumn<int>("airBaudPosition");
        QTest::newRow("0") << 0 << NoSelection << 255 << NoSelection;
        QTest::newRow("1") << 1 << 0 << 0 << 0;
        QTest::newRow("10, air 56000") << 10 << 9 << 9 << 9;
        QTest::newRow("11") << 11 << 10 << 10 << NoSelection;
        QTest::newRow("12") << 12 << 11 << 11 << NoSelection;
        QTest::newRow("13, past the channel list") << 13 << 12 << 12 << NoSelection;
        QTest::newRow("16") << 16 << 15 << 15 << NoSelection;
        QTest::newRow("17") << 17 << NoSelection << 16 << NoSelection;
        QTest::newRow("200") << 200 << NoSelection << 199 << NoSelection;
        QTest::newRow("255") << 255 << NoSelection << 254 << NoSelection;
    }
    void valueFromRadioToListPosition() {
        QFETCH(int, value);
        QFETCH(int, channelPosition);
        QFETCH(int, airBaudIdx);
        QFETCH(int, airBaudPosition);
        QCOMPARE(ChannelPosition(value), channelPosition);
        QCOMPARE(int{AirBaudIdxFromCode(value)}, airBaudIdx);
        QCOMPARE(AirBaudPosition(AirBaudIdxFromCode(value)), airBaudPosition);
    }

    void listPositionToCode_data() {
        QTest::addColumn<int>("position");
        QTest::addColumn<int>("channel");
        QTest::addColumn<int>("airRate");
        QTest::addColumn<int>("serialBaud");
        QTest::newRow("no selection") << -1 << 0 << 0 << 0;
        QTest::newRow("0") << 0 << 1 << 1 << 1;
        QTest::newRow("8") << 8 << 9 << 9 << 9;
        QTest::newRow("9, air 56000") << 9 << 10 << 1 << 10;
        QTest::newRow("10") << 10 << 11 << 1 << 2;
        QTest::newRow("32") << 32 << 33 << 1 << 2;
        QTest::newRow("33") << 33 << 1 << 1 << 2;
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

    void serialByte_data() {
        QTest::addColumn<int>("baud");
        QTest::addColumn<int>("parity");
        QTest::addColumn<int>("byte");
        QTest::newRow("9600 odd") << 4 << 1 << 0x15;
        QTest::newRow("9600 none") << 4 << 0 << 0x05;
        QTest::newRow("600 even, no parity") << 0 << 2 << 0x01;
        QTest::newRow("600 odd, no parity") << 0 << 1 << 0x01;
        QTest::newRow("115200 even") << 8 << 2 << 0x29;
        QTest::newRow("past the list, even") << 10 << 2 << 0x22;
        QTest::newRow("nothing selected") << -1 << -1 << 0x00;
        QTest::newRow("no rate, odd") << -1 << 1 << 0x10;
        QTest::newRow("unknown parity") << 4 << 3 << 0x05;
    }
    void serialByte() {
        QFETCH(int, baud);
        QFETCH(int, parity);
        QFETCH(int, byte);
        QCOMPARE(int{SerialByte(baud, parity)}, byte);
    }

    void idText_data() {
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("second");
        QTest::addColumn<QString>("text");
        QTest::newRow("12 34") << 0x12 << 0x34 << "123400";
        QTest::newRow("00 99") << 0x00 << 0x99 << "009900";
        QTest::newRow("1A, nibble above 9") << 0x1A << 0x34 << "1103400";
        QTest::newRow("8F 01") << 0x8F << 0x01 << "8150100";
    }
    void idText() {
        QFETCH(int, first);
        QFETCH(int, second);
        QFETCH(QString, text);
        const uint8_t id[2] = {uint8_t(first), uint8_t(second)};
        QCOMPARE(QString::fromStdString(IdText(id)), text);
    }

    void idBytesFromText_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QList<int>>("bytes");
        QTest::newRow("1234") << "1234" << QList<int>{0x12, 0x34};
        QTest::newRow("0815 and blanks") << "0815  " << QList<int>{0x08, 0x15};
        QTest::newRow("9999") << "9999" << QList<int>{0x99, 0x99};
        QTest::newRow("letters") << "abcd" << QList<int>{0x42, 0x64};
        QTest::newRow("blanks wrap") << "    " << QList<int>{0xF0, 0xF0};
        QTest::newRow("wide character") << QString::fromUtf8("中000") << QList<int>{0xD0, 0x00};
        QTest::newRow("three characters") << "123" << QList<int>{};
        QTest::newRow("empty") << "" << QList<int>{};
    }
    void idBytesFromText() {
        QFETCH(QString, text);
        QFETCH(QList<int>, bytes);
        const std::u16string wide = text.toStdU16String();
        const auto id = IdBytesFromText(wide);
        QCOMPARE((id ? QList<int>{(*id)[0], (*id)[1]} : QList<int>{}), bytes);
    }

    void modelVersionText_data() {
        QTest::addColumn<int>("version");
        QTest::addColumn<QString>("text");
        QTest::newRow("12") << 0x12 << "TVR-M401.2";
        QTest::newRow("0A") << 0x0A << "TVR-M400.10";
        QTest::newRow("23") << 0x23 << "TVR-M402.3";
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
        QTest::newRow("model 5") << Hex("55 AA 04 10 05 12 00 2B") << true
                                 << QList<int>{0xE1, 0xE2, 5, 0x12, 0xE5, 0xE6};
        QTest::newRow("model 16") << Hex("55 AA 04 10 10 23 00 47") << true
                                  << QList<int>{0xE1, 0xE2, 16, 0x23, 0xE5, 0xE6};
        QTest::newRow("model 17 refused, kept") << Hex("55 AA 04 10 11 23 00 48") << false
                                                << QList<int>{0xE1, 0xE2, 17, 0x23, 0xE5, 0xE6};
        QTest::newRow("bad checksum") << Hex("55 AA 04 10 05 12 00 2C") << false << Fields(Marked);
        QTest::newRow("not all arrived") << Hex("55 AA 04 10 05 12 00") << false << Fields(Marked);
    }
    void judgeModelReply() {
        QFETCH(QByteArray, reply);
        QFETCH(bool, accepted);
        QFETCH(QList<int>, fields);
        RadioParameterSet para = Marked;
        QCOMPARE(JudgeModelReply(Bytes(reply), reply.size(), para), accepted);
        QCOMPARE(Fields(para), fields);
    }

    void decodeReadReply_data() {
        QTest::addColumn<int>("step");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<QList<int>>("fields");
        QTest::newRow("0 model above 16") << 0 << Hex("55 AA 04 10 11 23 00 48") << true
                                          << QList<int>{0xE1, 0xE2, 17, 0x23, 0xE5, 0xE6};
        QTest::newRow("1 air rate 11") << 1 << Hex("55 AA 03 04 0B 00 12") << true
                                       << QList<int>{0xE1, 10, 0xE3, 0xE4, 0xE5, 0xE6};
        QTest::newRow("2 channel 13") << 2 << Hex("55 AA 03 08 0D 00 18") << true
                                      << QList<int>{13, 0xE2, 0xE3, 0xE4, 0xE5, 0xE6};
        QTest::newRow("3 identity") << 3 << Hex("55 AA 04 0A 12 34 00 54") << true
                                    << QList<int>{0xE1, 0xE2, 0xE3, 0xE4, 0x12, 0x34};
        QTest::newRow("3 A0 and 9A stored as they came")
            << 3 << Hex("55 AA 04 0A A0 9A 01 48") << true
            << QList<int>{0xE1, 0xE2, 0xE3, 0xE4, 0xA0, 0x9A};
        QTest::newRow("3 with step 0's code") << 3 << Hex("55 AA 04 10 99 34 00 E1") << true
                                              << QList<int>{0xE1, 0xE2, 0xE3, 0xE4, 0x99, 0x34};
        QTest::newRow("4 stores nothing")
            << 4 << Hex("55 AA 04 0A 12 34 00 54") << true << Fields(Marked);
        QTest::newRow("-1 stores nothing")
            << -1 << Hex("55 AA 04 0A 12 34 00 54") << true << Fields(Marked);
        QTest::newRow("2 bad checksum")
            << 2 << Hex("55 AA 03 08 0D 00 19") << false << Fields(Marked);
        QTest::newRow("3 not all arrived")
            << 3 << Hex("55 AA 04 0A 12 34 00") << false << Fields(Marked);
    }
    void decodeReadReply() {
        QFETCH(int, step);
        QFETCH(QByteArray, reply);
        QFETCH(bool, valid);
        QFETCH(QList<int>, fields);
        RadioParameterSet para = Marked;
        QCOMPARE(DecodeReadReply(step, Bytes(reply), reply.size(), para), valid);
        QCOMPARE(Fields(para), fields);
    }

    void displayShowsKnownValuesAndKeepsTheRadiosOwn_data() {
        QTest::addColumn<int>("channel");
        QTest::addColumn<int>("airCode");
        QTest::addColumn<int>("id1");
        QTest::addColumn<int>("id2");
        QTest::addColumn<int>("channelPosition");
        QTest::addColumn<int>("airBaudPosition");
        QTest::addColumn<QString>("idText");
        QTest::newRow("known") << 7 << 5 << 0x12 << 0x34 << 6 << 4 << "123400";
        QTest::newRow("channel 0") << 0 << 5 << 0x12 << 0x34 << NoSelection << 4 << "123400";
        QTest::newRow("channel 200") << 200 << 5 << 0x12 << 0x34 << NoSelection << 4 << "123400";
        QTest::newRow("air code 12") << 7 << 12 << 0x12 << 0x34 << 6 << NoSelection << "123400";
        QTest::newRow("air code 0") << 7 << 0 << 0x12 << 0x34 << 6 << NoSelection << "123400";
        QTest::newRow("ID 1A 34") << 7 << 5 << 0x1A << 0x34 << 6 << 4 << "";
        QTest::newRow("ID 12 A0") << 7 << 5 << 0x12 << 0xA0 << 6 << 4 << "";
        // Every nibble may be 9 and none above it.
        QTest::newRow("ID 99 99") << 7 << 5 << 0x99 << 0x99 << 6 << 4 << "999900";
        QTest::newRow("ID A9 99") << 7 << 5 << 0xA9 << 0x99 << 6 << 4 << "";
        QTest::newRow("ID 99 9A") << 7 << 5 << 0x99 << 0x9A << 6 << 4 << "";
    }
    void displayShowsKnownValuesAndKeepsTheRadiosOwn() {
        QFETCH(int, channel);
        QFETCH(int, airCode);
        QFETCH(int, id1);
        QFETCH(int, id2);
        QFETCH(int, channelPosition);
        QFETCH(int, airBaudPosition);
        QFETCH(QString, idText);
        RadioParameterSet para = Marked;
        para.Chnn = uint8_t(channel);
        para.AirBaudIdx = AirBaudIdxFromCode(uint8_t(airCode));
        para.IdCode[0] = uint8_t(id1);
        para.IdCode[1] = uint8_t(id2);
        const RadioParameterSet before = para;
        const DisplayedParameters shown = PrepareDisplay(para);
        QCOMPARE(shown.channelPosition, channelPosition);
        QCOMPARE(shown.airBaudPosition, airBaudPosition);
        QCOMPARE(QString::fromStdString(shown.idText), idText);
        QCOMPARE(Fields(para), Fields(before));
        const RawRadioValues raw = RawValuesOf(para);
        QCOMPARE((QList<int>{raw.channel, raw.airRateCode, raw.id[0], raw.id[1]}),
                 (QList<int>{channel, airCode, id1, id2}));
    }

    // What a radio holds after a write: the codes its frames carried, 56000 as 1200 and no
    // parity at 600 bit/s among them.
    void parametersWrittenAreWhatTheFramesCarry() {
        WriteSelection selection{9, 4, 0, 2, u"0815"};
        const RadioParameterSet written = ParametersWritten(selection);
        QCOMPARE(
            (QList<int>{written.Chnn, written.AirBaudIdx, written.IdCode[0], written.IdCode[1]}),
            (QList<int>{5, 0, 0x08, 0x15}));
        QCOMPARE(ParityTaken(0, 2), 0);
        QCOMPARE(ParityTaken(4, 2), 2);
    }

    void writePayloadNeedsFourIdentityCharacters() {
        std::array<uint8_t, 100> frame{0x55, 0xAA, 0x04, 0x09, 0x00};
        const auto before = frame;
        WriteSelection selection;
        selection.idText = u"123";
        QVERIFY(!FillWritePayload(1, selection, frame.data()));
        QCOMPARE(frame, before);
        // Only the identity step needs the text; an unknown step only completes the checksum.
        QVERIFY(FillWritePayload(9, selection, frame.data()));
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(frame.data()), 8),
                 Hex("55 AA 04 09 00 00 00 0D"));
    }
};

QTEST_APPLESS_MAIN(ParamCodecTest)
#include "paramcodec_test.moc"
