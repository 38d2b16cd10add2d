#include <QTest>

#include "serial/porturl.h"
#include "serial/rfc2217.h"
#include "serial/telnet.h"
#include "tests/support/bytes.h"

Q_DECLARE_METATYPE(std::optional<PortUrl>)

namespace {

TelnetEvent Data(const QByteArray& bytes) {
    return {TelnetEvent::Kind::Data, 0, 0, bytes};
}
TelnetEvent Negotiation(uint8_t verb, uint8_t option) {
    return {TelnetEvent::Kind::Negotiation, verb, option, {}};
}
TelnetEvent Subnegotiation(uint8_t option, const QByteArray& payload) {
    return {TelnetEvent::Kind::Subnegotiation, 0, option, payload};
}

// Feeds the stream a byte at a time and merges the data runs, as a reader that gets the stream
// in the smallest pieces sees it.
std::vector<TelnetEvent> FeedBytewise(const QByteArray& stream) {
    TelnetDecoder decoder;
    std::vector<TelnetEvent> events;
    for (char byte : stream) {
        for (TelnetEvent& event : decoder.feed(QByteArrayView(&byte, 1))) {
            if (event.kind == TelnetEvent::Kind::Data && !events.empty() &&
                events.back().kind == TelnetEvent::Kind::Data) {
                events.back().bytes += event.bytes;
            } else {
                events.push_back(event);
            }
        }
    }
    return events;
}

}  // namespace

class NetworkProtocolTest : public QObject {
    Q_OBJECT
  private slots:
    void portUrls_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<std::optional<PortUrl>>("parsed");
        const auto rfc = [](const char* host, uint16_t port) {
            return std::optional<PortUrl>(PortUrl{PortProtocol::Rfc2217, host, port});
        };
        const auto raw = [](const char* host, uint16_t port) {
            return std::optional<PortUrl>(PortUrl{PortProtocol::RawTcp, host, port});
        };
        const std::optional<PortUrl> none;
        QTest::newRow("name") << "rfc2217://rack-3.lab.example:2001"
                              << rfc("rack-3.lab.example", 2001);
        QTest::newRow("ipv4") << "socket://192.168.1.20:4001" << raw("192.168.1.20", 4001);
        QTest::newRow("scheme in capitals") << "RFC2217://host:1" << rfc("host", 1);
        QTest::newRow("ipv6") << "rfc2217://[::1]:2000" << rfc("::1", 2000);
        QTest::newRow("ipv6 with zone")
            << "socket://[fe80::1%eth0]:65535" << raw("fe80::1%eth0", 65535);
        QTest::newRow("highest port") << "socket://h:65535" << raw("h", 65535);
        QTest::newRow("port 0") << "socket://h:0" << none;
        QTest::newRow("port too big") << "socket://h:65536" << none;
        QTest::newRow("leading zero") << "socket://h:02000" << none;
        QTest::newRow("signed port") << "socket://h:+2000" << none;
        QTest::newRow("no port") << "socket://h" << none;
        QTest::newRow("empty port") << "socket://h:" << none;
        QTest::newRow("empty host") << "socket://:2000" << none;
        QTest::newRow("path") << "socket://h:2000/" << none;
        QTest::newRow("options") << "rfc2217://h:2000?logging=debug" << none;
        QTest::newRow("user") << "rfc2217://me@h:2000" << none;
        QTest::newRow("space") << "rfc2217://h :2000" << none;
        QTest::newRow("control character") << "rfc2217://h\x1b[2J:2000" << none;
        QTest::newRow("ipv6 without brackets") << "rfc2217://::1:2000" << none;
        QTest::newRow("ipv4 in brackets") << "rfc2217://[10.0.0.1]:2000" << none;
        QTest::newRow("unclosed bracket") << "rfc2217://[::1:2000" << none;
        QTest::newRow("bracket then no colon") << "rfc2217://[::1]2000" << none;
        QTest::newRow("zone with a space") << "rfc2217://[fe80::1%eth 0]:1" << none;
        QTest::newRow("empty zone") << "rfc2217://[fe80::1%]:1" << none;
        QTest::newRow("bad ipv4") << "socket://300.1.1.1:2000" << none;
        QTest::newRow("hyphen at a label's end") << "socket://rack-.lab:2000" << none;
        QTest::newRow("empty label") << "socket://rack..lab:2000" << none;
        QTest::newRow("label of 64") << "socket://" + QString(64, u'a') + ":1" << none;
        QTest::newRow("non-ASCII host") << QStringLiteral("socket://r\u00e4ck:1") << none;
        QTest::newRow("other scheme") << "telnet://h:23" << none;
        QTest::newRow("device") << "/dev/ttyUSB0" << none;
    }
    void portUrls() {
        QFETCH(QString, name);
        QFETCH(std::optional<PortUrl>, parsed);
        QCOMPARE(ParsePortUrl(name), parsed);
    }

    void networkNamesAreToldFromDevices() {
        QVERIFY(IsNetworkPortName("rfc2217://h:1"));
        QVERIFY(IsNetworkPortName("Socket://broken"));
        QVERIFY(!IsNetworkPortName("/dev/ttyUSB0"));
        QVERIFY(!IsNetworkPortName("COM3"));
        QVERIFY(!IsNetworkPortName("socket:/h:1"));
    }

    void everyByteValueSurvivesEscapingAndDecoding() {
        const QByteArray data = AllByteValues() + Hex("ff ff 00 ff");
        const QByteArray escaped = EscapeIac(data);
        QCOMPARE(escaped.size(), data.size() + 4);
        QCOMPARE(EscapeIac(Hex("41 ff 42")), Hex("41 ff ff 42"));
        TelnetDecoder decoder;
        const std::vector<TelnetEvent> whole = decoder.feed(escaped);
        QCOMPARE(whole, std::vector<TelnetEvent>{Data(data)});
        QCOMPARE(FeedBytewise(escaped), std::vector<TelnetEvent>{Data(data)});
    }

    void commandsAreSplitFromDataInOrder() {
        // What ser2net sends on a connect, then data around an answer and a NOP.
        const QByteArray stream =
            Hex("fffb03 fffd03 fffb01 fffe01 fffd00 fffb00 fffd2c"
                "41 fffa2c65 00002580 fff0 42 fff1 43");
        const std::vector<TelnetEvent> expected{Negotiation(Telnet::WILL, 3),
                                                Negotiation(Telnet::DO, 3),
                                                Negotiation(Telnet::WILL, 1),
                                                Negotiation(Telnet::DONT, 1),
                                                Negotiation(Telnet::DO, 0),
                                                Negotiation(Telnet::WILL, 0),
                                                Negotiation(Telnet::DO, 44),
                                                Data("A"),
                                                Subnegotiation(44, Hex("65 00 00 25 80")),
                                                Data("BC")};
        TelnetDecoder decoder;
        QCOMPARE(decoder.feed(stream), expected);
        QCOMPARE(FeedBytewise(stream), expected);
    }

    void subnegotiationsUndoubleIacAndDropWhatIsBroken() {
        TelnetDecoder decoder;
        QCOMPARE(decoder.feed(Hex("fffa2c65 0000ffff00 fff0")),
                 std::vector<TelnetEvent>{Subnegotiation(44, Hex("65 0000ff00"))});
        // An IAC followed by anything but IAC or SE ends the subnegotiation, dropped.
        QCOMPARE(decoder.feed(Hex("fffa2c65 01 ff41 42")), std::vector<TelnetEvent>{Data("B")});
        QCOMPARE(decoder.dropped(), 1);
        // One byte too long: dropped, and the stream goes on after its end.
        const QByteArray overlong = Hex("fffa2c") +
                                    QByteArray(TelnetDecoder::MaxSubnegotiationBytes + 1, 'x') +
                                    Hex("ffff fff0 43");
        QCOMPARE(decoder.feed(overlong), std::vector<TelnetEvent>{Data("C")});
        QCOMPARE(decoder.dropped(), 2);
        const QByteArray longest =
            Hex("fffa2c") + QByteArray(TelnetDecoder::MaxSubnegotiationBytes, 'y') + Hex("fff0");
        QCOMPARE(decoder.feed(longest),
                 std::vector<TelnetEvent>{
                     Subnegotiation(44, QByteArray(TelnetDecoder::MaxSubnegotiationBytes, 'y'))});
    }

    void negotiationAgreesToWhatASerialClientNeedsAndRefusesTheRest() {
        TelnetNegotiation negotiation;
        QCOMPARE(negotiation.start(), Hex("fffb00 fffb03 fffb2c fffd00 fffd03"));
        // Answers to the client's own requests settle them without a reply.
        QCOMPARE(negotiation.answer(Telnet::DO, Telnet::OptionComPort), QByteArray());
        QVERIFY(negotiation.localEnabled(Telnet::OptionComPort));
        QCOMPARE(negotiation.answer(Telnet::WILL, Telnet::OptionBinary), QByteArray());
        QVERIFY(negotiation.remoteEnabled(Telnet::OptionBinary));
        // The server's echo is accepted; options unknown to the client are refused, every time
        // they are asked for, but an agreed option is not confirmed again.
        QCOMPARE(negotiation.answer(Telnet::WILL, Telnet::OptionEcho), Hex("fffd01"));
        QCOMPARE(negotiation.answer(Telnet::WILL, Telnet::OptionEcho), QByteArray());
        QCOMPARE(negotiation.answer(Telnet::DO, 24), Hex("fffc18"));
        QCOMPARE(negotiation.answer(Telnet::DO, 24), Hex("fffc18"));
        QCOMPARE(negotiation.answer(Telnet::WILL, 44), Hex("fffe2c"));
        QCOMPARE(negotiation.answer(Telnet::DONT, 24), QByteArray());
        // An option withdrawn is acknowledged once.
        QCOMPARE(negotiation.answer(Telnet::DONT, Telnet::OptionComPort), Hex("fffc2c"));
        QVERIFY(negotiation.localRefused(Telnet::OptionComPort));
        QCOMPARE(negotiation.answer(Telnet::DONT, Telnet::OptionComPort), QByteArray());
    }

    void refusedRequestIsRemembered() {
        TelnetNegotiation negotiation;
        negotiation.start();
        QVERIFY(!negotiation.localRefused(Telnet::OptionComPort));
        QCOMPARE(negotiation.answer(Telnet::DONT, Telnet::OptionComPort), QByteArray());
        QVERIFY(negotiation.localRefused(Telnet::OptionComPort));
        QVERIFY(!negotiation.localEnabled(Telnet::OptionComPort));
    }

    void comPortRequestsAreEncodedByteExact() {
        QCOMPARE(SetBaudRateRequest(9600), Hex("fffa2c01 00002580 fff0"));
        QCOMPARE(SetBaudRateRequest(115200), Hex("fffa2c01 0001c200 fff0"));
        // A rate with an IAC in it has the IAC doubled.
        QCOMPARE(SetBaudRateRequest(0x0000ff00), Hex("fffa2c01 0000ffff00 fff0"));
        QCOMPARE(SetDataSizeRequest(8), Hex("fffa2c02 08 fff0"));
        QCOMPARE(SetParityRequest(ParityMode::None), Hex("fffa2c03 01 fff0"));
        QCOMPARE(SetParityRequest(ParityMode::Odd), Hex("fffa2c03 02 fff0"));
        QCOMPARE(SetParityRequest(ParityMode::Even), Hex("fffa2c03 03 fff0"));
        QCOMPARE(SetStopSizeRequest(1), Hex("fffa2c04 01 fff0"));
        QCOMPARE(SetStopSizeRequest(2), Hex("fffa2c04 02 fff0"));
        QCOMPARE(PurgeDataRequest(false, true), Hex("fffa2c0c 01 fff0"));
        QCOMPARE(PurgeDataRequest(true, false), Hex("fffa2c0c 02 fff0"));
        QCOMPARE(PurgeDataRequest(true, true), Hex("fffa2c0c 03 fff0"));
        QCOMPARE(PurgeDataRequest(false, false), QByteArray());
    }

    void serverRepliesAreParsedStrictly() {
        using C = ComPortCommand;
        QCOMPARE(ParseComPortReply(Hex("65 0000 4b00")), (ComPortReply{C::SetBaudRate, 19200}));
        QCOMPARE(ParseComPortReply(Hex("67 02")), (ComPortReply{C::SetParity, 2}));
        QCOMPARE(ParseComPortReply(Hex("70 03")), (ComPortReply{C::PurgeData, 3}));
        QCOMPARE(ParseComPortReply(Hex("6a 0c")), (ComPortReply{C::NotifyLineState, 12}));
        QCOMPARE(ParseComPortReply(Hex("6b 00")), (ComPortReply{C::NotifyModemState, 0}));
        QCOMPARE(ParseComPortReply("d" + QByteArray("ser2net")), (ComPortReply{C::Signature, 0}));
        QCOMPARE(ParseComPortReply(Hex("6c")), (ComPortReply{C::FlowControlSuspend, 0}));
        QCOMPARE(ParseComPortReply(Hex("65 004b00")), std::nullopt);
        QCOMPARE(ParseComPortReply(Hex("65 00004b0000")), std::nullopt);
        QCOMPARE(ParseComPortReply(Hex("67")), std::nullopt);
        QCOMPARE(ParseComPortReply(Hex("67 0102")), std::nullopt);
        QCOMPARE(ParseComPortReply(Hex("6c 00")), std::nullopt);
        // A client's code, or none known.
        QCOMPARE(ParseComPortReply(Hex("01 00002580")), std::nullopt);
        QCOMPARE(ParseComPortReply(Hex("71 00")), std::nullopt);
        QCOMPARE(ParseComPortReply(QByteArray()), std::nullopt);
    }

    void lineStateReportsLineErrors() {
        QCOMPARE(LineErrorsOfLineState(0x61), 0u);
        QCOMPARE(LineErrorsOfLineState(0x1e),
                 LineError::Overrun | LineError::RxParity | LineError::Framing | LineError::Break);
        QCOMPARE(LineErrorsOfLineState(0x04), LineError::RxParity);
    }

    void settingsAreConfirmedOnlyByTheValuesAskedFor() {
        const LineSettings wanted{38400, ParityMode::Even, 1};
        LineSettingsRequest request(wanted);
        QCOMPARE(request.bytes(), Hex("fffa2c01 00009600 fff0 fffa2c02 08 fff0"
                                      "fffa2c03 03 fff0 fffa2c04 01 fff0"));
        using C = ComPortCommand;
        QVERIFY(request.take({C::SetParity, 3}));
        QVERIFY(request.take({C::SetBaudRate, 38400}));
        QVERIFY(!request.take({C::SetBaudRate, 38400}));
        QVERIFY(!request.take({C::PurgeData, 3}));
        QVERIFY(request.take({C::SetDataSize, 8}));
        QVERIFY(!request.answered());
        QVERIFY(!request.confirmed());
        QVERIFY(request.take({C::SetStopSize, 1}));
        QVERIFY(request.answered());
        QVERIFY(request.confirmed());

        LineSettingsRequest refused(wanted);
        for (const ComPortReply& reply :
             {ComPortReply{C::SetBaudRate, 38400}, ComPortReply{C::SetDataSize, 8},
              ComPortReply{C::SetParity, 1},  // kept at none
              ComPortReply{C::SetStopSize, 1}}) {
            QVERIFY(refused.take(reply));
        }
        QVERIFY(refused.answered());
        QVERIFY(!refused.confirmed());
    }
};

QTEST_GUILESS_MAIN(NetworkProtocolTest)
#include "tst_networkprotocol.moc"
