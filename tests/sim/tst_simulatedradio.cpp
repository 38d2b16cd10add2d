#include <QSignalSpy>
#include <QTest>

#include "sim/simulatedport.h"
#include "sim/simulatedradio.h"
#include "tests/support/bytes.h"

using namespace std::chrono_literals;

namespace {

void HostWrite(SimulatedRadio& radio, const QByteArray& bytes) {
    radio.hostWrite(reinterpret_cast<const uint8_t*>(bytes.constData()),
                    static_cast<size_t>(bytes.size()));
}

QByteArray HostReadAll(SimulatedRadio& radio) {
    QByteArray bytes(static_cast<qsizetype>(radio.hostAvailable()), '\0');
    radio.hostRead(reinterpret_cast<uint8_t*>(bytes.data()), radio.hostAvailable());
    return bytes;
}

QByteArray Exchange(SimulatedRadio& radio, const QByteArray& request, SimDuration wait = 100ms) {
    HostWrite(radio, request);
    radio.advance(wait);
    return HostReadAll(radio);
}

// Both radios move in small steps so that what one puts on the air reaches the other in time.
void AdvanceBoth(SimulatedRadio& a, SimulatedRadio& b, SimDuration total) {
    const SimDuration end = a.now() + total;
    while (a.now() < end) {
        a.advance(1ms);
        b.advance(1ms);
    }
}

LineSettings Line(int32_t rate, ParityMode parity) {
    LineSettings line;
    line.baudRate = rate;
    line.parity = parity;
    return line;
}

const QByteArray Probe = Hex("55 AA 03 10 00 00 13");
const QByteArray ModelReply = Hex("55 AA 04 10 03 12 00 29");
const QByteArray Ack = Hex("55 AA 02 20 00 22");

}  // namespace

using Exchanges = QList<QPair<QByteArray, QByteArray>>;

class SimulatedRadioTest : public QObject {
    Q_OBJECT
  private slots:
    void answersEveryCommand_data();
    void answersEveryCommand();
    void noAnswerAtOtherLineSettings_data();
    void noAnswerAtOtherLineSettings();
    void replyTakesItsWireTime();
    void decodesSerialByte_data();
    void decodesSerialByte();
    void serialWriteTakesEffectAfterAcknowledgement();
    void userDataCrossesToPeer();
    void peerOnOtherChannelHearsNothing();
    void lonePrefixLeavesAsDataAfterQuietGap();
    void echoStationReturnsAfterQuiet();
    void lossAndCorruptionRatesFollowSeed();
    void faultSilent();
    void faultWrongChecksum();
    void faultSplitReply();
    void faultDelayedReply();
    void faultChatter();
    void faultFlood();
    void faultModelCode17();
    void faultIgnoredWrite();
    void frameLogSeesCommandAndReply();
    void portExchangesAndPurges();
    void portFlagsLineErrors_data();
    void portFlagsLineErrors();
    void portReportsVanishedDevice();
    void demoPortAnswersOnWallClockAndIsExclusive();
};

void SimulatedRadioTest::answersEveryCommand_data() {
    QTest::addColumn<Exchanges>("exchanges");
    QTest::newRow("model and version") << Exchanges{{Probe, ModelReply}};
    QTest::newRow("air rate") << Exchanges{
        {Hex("55 AA 03 04 00 00 07"), Hex("55 AA 03 04 04 00 0B")}};
    QTest::newRow("channel") << Exchanges{
        {Hex("55 AA 03 08 00 00 0B"), Hex("55 AA 03 08 01 00 0C")}};
    QTest::newRow("identity") << Exchanges{
        {Hex("55 AA 03 0A 00 00 0D"), Hex("55 AA 04 0A 12 34 00 54")}};
    QTest::newRow("write air rate")
        << Exchanges{{Hex("55 AA 03 03 07 00 0D"), Ack},
                     {Hex("55 AA 03 04 00 00 07"), Hex("55 AA 03 04 07 00 0E")}};
    QTest::newRow("write identity")
        << Exchanges{{Hex("55 AA 04 09 99 99 01 3F"), Ack},
                     {Hex("55 AA 03 0A 00 00 0D"), Hex("55 AA 04 0A 99 99 01 40")}};
    QTest::newRow("write channel")
        << Exchanges{{Hex("55 AA 03 07 0C 00 16"), Ack},
                     {Hex("55 AA 03 08 00 00 0B"), Hex("55 AA 03 08 0C 00 17")}};
    QTest::newRow("transmit test")
        << Exchanges{{Hex("55 AA 03 0D 00 00 10"), Hex("55 AA 03 0D 00 00 10")}};
    QTest::newRow("end test") << Exchanges{
        {Hex("55 AA 03 0E 00 00 11"), Hex("55 AA 03 0E 00 00 11")}};
    QTest::newRow("sensitivity, parameter echoed")
        << Exchanges{{Hex("55 AA 03 0C 07 00 16"), Hex("55 AA 03 0C 07 00 16")}};
    QTest::newRow("field strength")
        << Exchanges{{Hex("55 AA 03 11 00 00 14"), Hex("55 AA 03 11 55 00 69")}};
    QTest::newRow("power level") << Exchanges{
        {Hex("55 AA 03 13 00 00 16"), Hex("55 AA 03 13 05 00 1B")}};
    QTest::newRow("set power level")
        << Exchanges{{Hex("55 AA 03 12 03 00 18"), Hex("55 AA 03 12 03 00 18")},
                     {Hex("55 AA 03 13 00 00 16"), Hex("55 AA 03 13 03 00 19")}};
    QTest::newRow("read register")
        << Exchanges{{Hex("55 AA 03 99 05 00 A1"), Hex("55 AA 03 99 26 00 C2")}};
    QTest::newRow("register number wraps at 64")
        << Exchanges{{Hex("55 AA 03 99 45 00 E1"), Hex("55 AA 03 99 26 00 C2")}};
    QTest::newRow("write register")
        << Exchanges{{Hex("55 AA 04 88 05 80 01 11"), Hex("55 AA 03 88 80 01 0B")},
                     {Hex("55 AA 03 99 05 00 A1"), Hex("55 AA 03 99 80 01 1C")}};
    QTest::newRow("two commands in one write") << Exchanges{
        {Probe + Hex("55 AA 03 08 00 00 0B"), ModelReply + Hex("55 AA 03 08 01 00 0C")}};
}

void SimulatedRadioTest::answersEveryCommand() {
    QFETCH(Exchanges, exchanges);
    SimulatedRadio radio;
    for (const auto& [request, expected] : exchanges) {
        QCOMPARE(Exchange(radio, request).toHex(' '), expected.toHex(' '));
    }
}

void SimulatedRadioTest::noAnswerAtOtherLineSettings_data() {
    QTest::addColumn<LineSettings>("radioLine");
    QTest::addColumn<LineSettings>("hostLine");
    QTest::addColumn<bool>("answers");
    QTest::addColumn<bool>("noneLikeEven");
    QTest::newRow("same") << Line(9600, ParityMode::None) << Line(9600, ParityMode::None) << true
                          << false;
    QTest::newRow("faster host") << Line(9600, ParityMode::None) << Line(19200, ParityMode::None)
                                 << false << false;
    QTest::newRow("slower host") << Line(9600, ParityMode::None) << Line(4800, ParityMode::None)
                                 << false << false;
    QTest::newRow("odd host") << Line(9600, ParityMode::None) << Line(9600, ParityMode::Odd)
                              << false << false;
    QTest::newRow("even host") << Line(9600, ParityMode::None) << Line(9600, ParityMode::Even)
                               << false << false;
    QTest::newRow("even radio, none host")
        << Line(19200, ParityMode::Even) << Line(19200, ParityMode::None) << false << false;
    QTest::newRow("even both") << Line(19200, ParityMode::Even) << Line(19200, ParityMode::Even)
                               << true << false;
    // Behind a pseudo-terminal none and even look alike; odd and the rate still count.
    QTest::newRow("no parity line, even radio, none host")
        << Line(19200, ParityMode::Even) << Line(19200, ParityMode::None) << true << true;
    QTest::newRow("no parity line, none radio, even host")
        << Line(9600, ParityMode::None) << Line(9600, ParityMode::Even) << true << true;
    QTest::newRow("no parity line, odd host")
        << Line(9600, ParityMode::None) << Line(9600, ParityMode::Odd) << false << true;
    QTest::newRow("no parity line, other rate")
        << Line(9600, ParityMode::Even) << Line(19200, ParityMode::None) << false << true;
}

void SimulatedRadioTest::noAnswerAtOtherLineSettings() {
    QFETCH(LineSettings, radioLine);
    QFETCH(LineSettings, hostLine);
    QFETCH(bool, answers);
    QFETCH(bool, noneLikeEven);
    RadioParameters params;
    params.line = radioLine;
    SimulatedRadio radio(params, LinkOptions{.hostTellsNoneFromEven = !noneLikeEven});
    radio.setHostLine(hostLine);
    const QByteArray reply = Exchange(radio, Probe, 500ms);
    QCOMPARE(reply.toHex(' '), answers ? ModelReply.toHex(' ') : QByteArray());
}

void SimulatedRadioTest::replyTakesItsWireTime() {
    // 7 bytes in and 8 bytes out at 1.04 ms each, plus the processing delay: about 16.6 ms.
    SimulatedRadio radio;
    HostWrite(radio, Probe);
    radio.advance(16ms);
    QVERIFY(radio.hostAvailable() < 8);
    radio.advance(1ms);
    QCOMPARE(HostReadAll(radio).toHex(' '), ModelReply.toHex(' '));

    // At 600 bit/s the same exchange takes 15 byte times of 16.7 ms.
    RadioParameters slow;
    slow.line = Line(600, ParityMode::None);
    SimulatedRadio slowRadio(slow);
    slowRadio.setHostLine(slow.line);
    HostWrite(slowRadio, Probe);
    slowRadio.advance(245ms);
    QVERIFY(slowRadio.hostAvailable() < 8);
    slowRadio.advance(10ms);
    QCOMPARE(HostReadAll(slowRadio).toHex(' '), ModelReply.toHex(' '));
}

void SimulatedRadioTest::decodesSerialByte_data() {
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("rate");  // 0: not a setting
    QTest::addColumn<ParityMode>("parity");
    QTest::newRow("9600 odd") << 0x15 << 9600 << ParityMode::Odd;
    QTest::newRow("600 even comes without parity") << 0x01 << 600 << ParityMode::None;
    QTest::newRow("600 with parity bits") << 0x21 << 600 << ParityMode::None;
    QTest::newRow("115200 even") << 0x29 << 115200 << ParityMode::Even;
    QTest::newRow("1200 none") << 0x02 << 1200 << ParityMode::None;
    QTest::newRow("no selection") << 0x00 << 0 << ParityMode::None;
    QTest::newRow("code 10") << 0x0A << 0 << ParityMode::None;
    QTest::newRow("both parity bits") << 0x35 << 0 << ParityMode::None;
}

void SimulatedRadioTest::decodesSerialByte() {
    QFETCH(int, value);
    QFETCH(int, rate);
    QFETCH(ParityMode, parity);
    const auto line = DecodeSerialByte(static_cast<uint8_t>(value));
    QCOMPARE(line.has_value(), rate != 0);
    if (line) {
        QCOMPARE(line->baudRate, rate);
        QCOMPARE(line->parity, parity);
    }
}

void SimulatedRadioTest::serialWriteTakesEffectAfterAcknowledgement() {
    SimulatedRadio radio;
    // 19200 bit/s, odd parity.
    HostWrite(radio, Hex("55 AA 03 0F 16 00 28"));
    // Request in (7.3 ms), processing (1 ms), then the acknowledgement still on the wire.
    radio.advance(12ms);
    QCOMPARE(radio.parameters().line, Line(9600, ParityMode::None));
    radio.advance(88ms);
    QCOMPARE(radio.parameters().line, Line(19200, ParityMode::Odd));
    // The acknowledgement itself went out at the old settings, clean.
    QCOMPARE(HostReadAll(radio).toHex(' '), Ack.toHex(' '));
    QCOMPARE(radio.takeHostErrors(), 0u);

    QCOMPARE(Exchange(radio, Probe), QByteArray());
    radio.setHostLine(Line(19200, ParityMode::Odd));
    QCOMPARE(Exchange(radio, Probe).toHex(' '), ModelReply.toHex(' '));

    // A byte that names no setting is acknowledged and changes nothing.
    QCOMPARE(Exchange(radio, Hex("55 AA 03 0F 0A 00 1C")).toHex(' '), Ack.toHex(' '));
    QCOMPARE(radio.parameters().line, Line(19200, ParityMode::Odd));
}

void SimulatedRadioTest::userDataCrossesToPeer() {
    SimulatedRadio a;
    SimulatedRadio b;
    a.linkPeer(b);
    const QByteArray text("hello, far side \x55\x01 end");
    HostWrite(a, text);
    HostWrite(a, Probe);  // a command is answered, not sent on
    AdvanceBoth(a, b, 200ms);
    QCOMPARE(HostReadAll(b), text);
    QCOMPARE(HostReadAll(a).toHex(' '), ModelReply.toHex(' '));

    // And back the other way.
    HostWrite(b, "reply");
    AdvanceBoth(a, b, 100ms);
    QCOMPARE(HostReadAll(a), QByteArray("reply"));
}

void SimulatedRadioTest::peerOnOtherChannelHearsNothing() {
    SimulatedRadio a;
    SimulatedRadio b;
    a.linkPeer(b);
    HostWrite(a, Hex("55 AA 03 07 02 00 0C"));  // channel 2
    AdvanceBoth(a, b, 100ms);
    QCOMPARE(HostReadAll(a).toHex(' '), Ack.toHex(' '));
    HostWrite(a, "lost");
    AdvanceBoth(a, b, 100ms);
    QCOMPARE(HostReadAll(b), QByteArray());

    HostWrite(b, Hex("55 AA 03 07 02 00 0C"));
    AdvanceBoth(a, b, 100ms);
    QCOMPARE(HostReadAll(b).toHex(' '), Ack.toHex(' '));
    HostWrite(a, "heard");
    AdvanceBoth(a, b, 100ms);
    QCOMPARE(HostReadAll(b), QByteArray("heard"));
}

void SimulatedRadioTest::lonePrefixLeavesAsDataAfterQuietGap() {
    SimulatedRadio a;
    SimulatedRadio b;
    a.linkPeer(b);
    // A frame start that never completes, then a frame with a wrong checksum.
    HostWrite(a, Hex("55 AA 03"));
    AdvanceBoth(a, b, 100ms);
    QCOMPARE(HostReadAll(b).toHex(' '), Hex("55 AA 03").toHex(' '));
    HostWrite(a, Hex("55 AA 03 10 00 00 14"));
    AdvanceBoth(a, b, 100ms);
    QCOMPARE(HostReadAll(b).toHex(' '), Hex("55 AA 03 10 00 00 14").toHex(' '));
    QCOMPARE(HostReadAll(a), QByteArray());
}

void SimulatedRadioTest::echoStationReturnsAfterQuiet() {
    SimulatedRadio radio(RadioParameters{}, LinkOptions{.echoStation = true});
    HostWrite(radio, "ping");
    radio.advance(300ms);
    QCOMPARE(HostReadAll(radio), QByteArray());
    radio.advance(100ms);
    QCOMPARE(HostReadAll(radio), QByteArray("ping"));

    // More data before the quiet time is over restarts the wait and comes back as one.
    HostWrite(radio, "ab");
    radio.advance(200ms);
    HostWrite(radio, "cd");
    radio.advance(300ms);
    QCOMPARE(HostReadAll(radio), QByteArray());
    radio.advance(100ms);
    QCOMPARE(HostReadAll(radio), QByteArray("abcd"));
}

void SimulatedRadioTest::lossAndCorruptionRatesFollowSeed() {
    constexpr int count = 4000;
    QByteArray sent;
    for (int i = 0; i < count; ++i) sent.append(static_cast<char>('a' + i % 26));

    const auto run = [&](double loss, double corrupt, uint32_t seed) {
        SimulatedRadio a(
            RadioParameters{},
            LinkOptions{.lossProbability = loss, .corruptProbability = corrupt, .seed = seed});
        SimulatedRadio b;
        a.linkPeer(b);
        HostWrite(a, sent);
        AdvanceBoth(a, b, 5000ms);
        return HostReadAll(b);
    };

    const QByteArray lossy = run(0.1, 0, 7);
    const qsizetype lost = count - lossy.size();
    QVERIFY2(lost > count * 0.08 && lost < count * 0.12, QByteArray::number(lost));
    QCOMPARE(run(0.1, 0, 7), lossy);
    QVERIFY(run(0.1, 0, 8) != lossy);

    const QByteArray corrupted = run(0, 0.05, 7);
    QCOMPARE(corrupted.size(), count);
    int damaged = 0;
    for (int i = 0; i < count; ++i) damaged += corrupted[i] != sent[i];
    QVERIFY2(damaged > count * 0.035 && damaged < count * 0.065, QByteArray::number(damaged));

    QCOMPARE(run(0, 0, 7), sent);
}

void SimulatedRadioTest::faultSilent() {
    SimulatedRadio radio;
    radio.setFaults({.silent = true});
    QCOMPARE(Exchange(radio, Probe, 500ms), QByteArray());
    QCOMPARE(Exchange(radio, Hex("55 AA 03 07 09 00 13"), 500ms), QByteArray());
    QCOMPARE(radio.parameters().channel, uint8_t{1});
}

void SimulatedRadioTest::faultWrongChecksum() {
    SimulatedRadio radio;
    radio.setFaults({.wrongChecksum = true});
    QCOMPARE(Exchange(radio, Probe).toHex(' '), Hex("55 AA 04 10 03 12 00 2A").toHex(' '));
    QCOMPARE(Exchange(radio, Hex("55 AA 03 07 09 00 13")).toHex(' '),
             Hex("55 AA 02 20 00 23").toHex(' '));
}

void SimulatedRadioTest::faultSplitReply() {
    SimulatedRadio radio;
    radio.setFaults({.splitPieces = 3});
    HostWrite(radio, Probe);
    radio.advance(20ms);
    QCOMPARE(HostReadAll(radio).toHex(' '), Hex("55 AA").toHex(' '));
    radio.advance(15ms);
    QCOMPARE(HostReadAll(radio).toHex(' '), Hex("04 10 03").toHex(' '));
    radio.advance(15ms);
    QCOMPARE(HostReadAll(radio).toHex(' '), Hex("12 00 29").toHex(' '));
}

void SimulatedRadioTest::faultDelayedReply() {
    SimulatedRadio radio;
    radio.setFaults({.replyDelayMs = 200});
    HostWrite(radio, Probe);
    radio.advance(200ms);
    QCOMPARE(HostReadAll(radio), QByteArray());
    radio.advance(30ms);
    QCOMPARE(HostReadAll(radio).toHex(' '), ModelReply.toHex(' '));
}

void SimulatedRadioTest::faultChatter() {
    SimulatedRadio radio;
    radio.setFaults({.chatter = true});
    // The line stays busy: about 9.6 bytes in every 10 ms at 9600 bit/s.
    for (int tick = 0; tick < 20; ++tick) {
        radio.advance(10ms);
        const qsizetype n = HostReadAll(radio).size();
        QVERIFY2(n >= 9 && n <= 10, QByteArray::number(n));
    }
    // A command is still answered, between the noise.
    QVERIFY(Exchange(radio, Probe).contains(ModelReply));
    radio.setFaults({});
    radio.advance(10ms);
    HostReadAll(radio);
    radio.advance(100ms);
    QCOMPARE(HostReadAll(radio), QByteArray());
}

void SimulatedRadioTest::faultFlood() {
    SimulatedRadio radio;
    radio.setFaults({.floodBytes = 300});
    const QByteArray flood = Exchange(radio, Probe, 400ms);
    QCOMPARE(flood.size(), 300);
    QVERIFY(!flood.contains(ModelReply));
}

void SimulatedRadioTest::faultModelCode17() {
    SimulatedRadio radio;
    radio.setFaults({.modelCode17 = true});
    QCOMPARE(Exchange(radio, Probe).toHex(' '), Hex("55 AA 04 10 11 12 00 37").toHex(' '));
}

void SimulatedRadioTest::faultIgnoredWrite() {
    SimulatedRadio radio;
    radio.setFaults({.ignoredWrite = 0x07});
    // The channel write is acknowledged like any other and changes nothing; the others apply.
    QCOMPARE(Exchange(radio, Hex("55 AA 03 07 09 00 13")).toHex(' '), Ack.toHex(' '));
    QCOMPARE(radio.parameters().channel, uint8_t{1});
    QCOMPARE(Exchange(radio, Hex("55 AA 03 03 06 00 0C")).toHex(' '), Ack.toHex(' '));
    QCOMPARE(radio.parameters().airRateCode, uint8_t{6});
}

void SimulatedRadioTest::frameLogSeesCommandAndReply() {
    SimulatedRadio radio;
    QList<QPair<bool, QByteArray>> log;
    radio.setFrameLog([&](bool incoming, const std::vector<uint8_t>& frame) {
        log.append({incoming, QByteArray(reinterpret_cast<const char*>(frame.data()),
                                         static_cast<qsizetype>(frame.size()))});
    });
    Exchange(radio, Probe);
    HostWrite(radio, "data is not logged");
    radio.advance(100ms);
    const QList<QPair<bool, QByteArray>> expected{{true, Probe}, {false, ModelReply}};
    QCOMPARE(log, expected);
}

void SimulatedRadioTest::portExchangesAndPurges() {
    SimulatedRadio radio;
    SimulatedPort port(radio);
    uint32_t errors = 99;
    QVERIFY(port.setLineSettings(Line(9600, ParityMode::None)));
    QCOMPARE(port.write(reinterpret_cast<const uint8_t*>(Probe.constData()), Probe.size()), 7);
    radio.advance(20ms);
    QCOMPARE(port.bytesWaiting(&errors), 8u);
    QCOMPARE(errors, 0u);
    QByteArray reply(8, '\0');
    QCOMPARE(port.read(reinterpret_cast<uint8_t*>(reply.data()), 8), 8);
    QCOMPARE(reply.toHex(' '), ModelReply.toHex(' '));

    // Output purged before it left: only the byte already on the wire reaches the radio.
    port.write(reinterpret_cast<const uint8_t*>(Probe.constData()), Probe.size());
    port.purge(true, false);
    radio.advance(100ms);
    QCOMPARE(port.bytesWaiting(&errors), 0u);

    // Input purged: the reply that had arrived is gone.
    port.write(reinterpret_cast<const uint8_t*>(Probe.constData()), Probe.size());
    radio.advance(100ms);
    QCOMPARE(port.bytesWaiting(&errors), 8u);
    QCOMPARE(port.purge(false, true).toHex(' '), ModelReply.toHex(' '));
    QCOMPARE(port.bytesWaiting(&errors), 0u);

    port.close();
    QCOMPARE(port.write(reinterpret_cast<const uint8_t*>(Probe.constData()), Probe.size()), -1);
}

void SimulatedRadioTest::portFlagsLineErrors_data() {
    QTest::addColumn<LineSettings>("portLine");
    QTest::addColumn<uint32_t>("flags");
    QTest::newRow("matching") << Line(9600, ParityMode::Even) << 0u;
    QTest::newRow("parity none") << Line(9600, ParityMode::None) << LineError::RxParity;
    QTest::newRow("parity odd") << Line(9600, ParityMode::Odd) << LineError::RxParity;
    QTest::newRow("other rate") << Line(19200, ParityMode::Even) << LineError::Framing;
    QTest::newRow("other rate and parity")
        << Line(19200, ParityMode::Odd) << (LineError::Framing | LineError::RxParity);
}

void SimulatedRadioTest::portFlagsLineErrors() {
    QFETCH(LineSettings, portLine);
    QFETCH(uint32_t, flags);
    RadioParameters params;
    params.line = Line(9600, ParityMode::Even);
    SimulatedRadio radio(params);
    radio.setFaults({.chatter = true});
    SimulatedPort port(radio);
    QVERIFY(port.setLineSettings(portLine));
    QCOMPARE(port.lineSettings(), portLine);
    radio.advance(50ms);
    uint32_t errors = 0;
    QVERIFY(port.bytesWaiting(&errors) > 0);
    QCOMPARE(errors, flags);
    // The flags are cleared by the query that returned them.
    port.bytesWaiting(&errors);
    QCOMPARE(errors, 0u);
}

void SimulatedRadioTest::portReportsVanishedDevice() {
    SimulatedRadio radio;
    SimulatedPort port(radio);
    QSignalSpy lost(&port, &SerialDevice::lost);
    port.write(reinterpret_cast<const uint8_t*>(Probe.constData()), Probe.size());
    radio.advance(100ms);
    radio.vanish();
    radio.vanish();
    QCOMPARE(lost.count(), 1);
    uint32_t errors = 0;
    QCOMPARE(port.bytesWaiting(&errors), 0u);
    QCOMPARE(port.write(reinterpret_cast<const uint8_t*>(Probe.constData()), Probe.size()), -1);
    QVERIFY(!port.setLineSettings(Line(9600, ParityMode::None)));
}

void SimulatedRadioTest::demoPortAnswersOnWallClockAndIsExclusive() {
    auto port = OpenSimulatedDemoPort().device;
    QVERIFY(port);
    QCOMPARE(OpenSimulatedDemoPort().failure, OpenFailure::InUse);
    QVERIFY(port->setLineSettings(Line(9600, ParityMode::None)));
    port->purge(true, true);
    port->write(reinterpret_cast<const uint8_t*>(Probe.constData()), Probe.size());
    uint32_t errors = 0;
    QTRY_COMPARE_WITH_TIMEOUT(port->bytesWaiting(&errors), 8u, 2000);
    QByteArray reply(8, '\0');
    port->read(reinterpret_cast<uint8_t*>(reply.data()), 8);
    QCOMPARE(reply.toHex(' '), ModelReply.toHex(' '));

    // The far end is an echo station.
    port->write(reinterpret_cast<const uint8_t*>("echo"), 4);
    QTRY_COMPARE_WITH_TIMEOUT(port->bytesWaiting(&errors), 4u, 2000);

    port->close();
    auto again = OpenSimulatedDemoPort().device;
    QVERIFY(again);
    port.reset();
    QVERIFY(!OpenSimulatedDemoPort().device);
}

QTEST_GUILESS_MAIN(SimulatedRadioTest)
#include "tst_simulatedradio.moc"
