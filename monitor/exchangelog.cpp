#include "monitor/exchangelog.h"

#include <QDateTime>
#include <cstring>

#include "core/language.h"
#include "radio/frame.h"

namespace {

constexpr int MinFrameLength = 2;  // the write acknowledgement carries a code alone

struct CommandCaption {
    uint8_t code;
    const char* english;
    const char* chinese;
};

constexpr CommandCaption Commands[] = {
    {0x10, "read model", "读型号"},
    {0x04, "read air rate", "读空中速率"},
    {0x08, "read channel", "读信道"},
    {0x0A, "read ID", "读ID码"},
    {0x03, "write air rate", "写空中速率"},
    {0x09, "write ID", "写ID码"},
    {0x07, "write channel", "写信道"},
    {0x0F, "write serial rate", "写串口速率"},
    {0x20, "write acknowledgement", "写参数应答"},
    {0x0D, "transmit test", "发射测试"},
    {0x0E, "end test", "结束测试"},
    {0x0C, "sensitivity frequency", "灵敏度频率"},
    {0x11, "read field strength", "读场强"},
    {0x12, "set power level", "设置功率等级"},
    {0x13, "read power level", "读功率等级"},
    {0x99, "read register", "读寄存器"},
    {0x88, "write register", "写寄存器"},
};

constexpr uint8_t WriteAckCode = 0x20;

// Upper-case hexadecimal digits, `digits` of them at least.
QString HexNumber(unsigned value, int digits) {
    return QString::number(value, 16).toUpper().rightJustified(digits, u'0');
}

QString Hex(QByteArrayView bytes) {
    return QString::fromLatin1(bytes.toByteArray().toHex(' ').toUpper());
}

QString RoundTripMs(int64_t us) {
    return QString::number(us / 1000.0, 'f', 1);
}

QString FrameCommandText(const ExchangeRow& row) {
    const DecodedFrame frame = DecodeFrame(row.bytes);
    const QString name = CommandName(frame.code);
    if (row.direction != ExchangeDirection::Received || frame.code == WriteAckCode) return name;
    return name + Tr(" reply", " 应答");
}

QString CommandText(const ExchangeRow& row) {
    switch (row.kind) {
        case ExchangeRowKind::Frame:
            return FrameCommandText(row);
        case ExchangeRowKind::Data:
            return Tr("data", "数据");
        case ExchangeRowKind::Incomplete:
            return Tr("incomplete frame", "不完整的帧");
        case ExchangeRowKind::Purge:
            return Tr("purge: %1 received bytes thrown away", "清除：丢弃 %1 个接收字节")
                .arg(row.byteCount);
        case ExchangeRowKind::Settings:
            break;
    }
    if (!row.modemLine.isEmpty())
        return Tr("modem line %1 on %2", "线路信号 %1：%2").arg(row.modemLine, row.port);
    const QString text = (row.search ? Tr("search attempt on %1", "搜索尝试：%1")
                                     : Tr("line settings on %1", "串口设置：%1"))
                             .arg(row.port);
    if (!row.roundTripUs) return text;
    return text + Tr(", confirmed by the server in %1 ms", "，服务器 %1 毫秒内确认")
                      .arg(RoundTripMs(*row.roundTripUs));
}

QString BytesText(const ExchangeRow& row) {
    QString text = Hex(row.bytes);
    if (row.byteCount > static_cast<uint32_t>(row.bytes.size()))
        text += Tr(" … (%1 bytes)", " … (%1 字节)").arg(row.byteCount);
    return text;
}

QString ChecksumText(const ExchangeRow& row) {
    if (row.kind != ExchangeRowKind::Frame) return {};
    const DecodedFrame frame = DecodeFrame(row.bytes);
    if (frame.verdict == ChecksumVerdict::Good) return Tr("ok", "正确");
    return Tr("bad: carries %1, sum is %2", "错误：帧内为 %1，累加和为 %2")
        .arg(HexNumber(frame.carried, 4), HexNumber(frame.computed, 4));
}

}  // namespace

DecodedFrame DecodeFrame(QByteArrayView bytes) {
    DecodedFrame frame;
    const auto* p = reinterpret_cast<const uint8_t*>(bytes.data());
    if (bytes.size() < 4 || p[0] != FrameHeader1 || p[1] != FrameHeader2) return frame;
    const int length = p[2];
    if (length < MinFrameLength || length > MaxReplyLength || bytes.size() != FrameSize(p[2]))
        return frame;
    for (int i = 2; i < length + 2; ++i)
        frame.computed = static_cast<uint16_t>(frame.computed + p[i]);
    frame.carried = static_cast<uint16_t>(p[length + 2] << 8 | p[length + 3]);
    frame.code = p[3];
    frame.verdict = frame.carried == frame.computed ? ChecksumVerdict::Good : ChecksumVerdict::Bad;
    return frame;
}

QString CommandName(uint8_t code) {
    for (const CommandCaption& command : Commands) {
        if (command.code == code) return Tr(command.english, command.chinese);
    }
    return Tr("unknown command 0x%1", "未知命令 0x%1").arg(HexNumber(code, 2));
}

QString ExchangeColumnTitle(int column) {
    switch (column) {
        case TimeColumn:
            return Tr("Time", "时间");
        case DeltaColumn:
            return Tr("+ms", "+毫秒");
        case DirectionColumn:
            return Tr("Dir", "方向");
        case CommandColumn:
            return Tr("Command", "命令");
        case BytesColumn:
            return Tr("Bytes", "字节");
        case ChecksumColumn:
            return Tr("Checksum", "校验和");
        case SettingsColumn:
            return Tr("Serial setting", "串口设置");
        default:
            return {};
    }
}

QString ExchangeCellText(const ExchangeRow& row, const ExchangeRow* previous, int column) {
    switch (column) {
        case TimeColumn:
            return QDateTime::fromMSecsSinceEpoch(row.timeUs / 1000).toString("HH:mm:ss.zzz");
        case DeltaColumn:
            return previous ? QStringLiteral("+%1").arg((row.timeUs - previous->timeUs) / 1000.0, 0,
                                                        'f', 1)
                            : QString();
        case DirectionColumn:
            switch (row.direction) {
                case ExchangeDirection::Sent:
                    return QStringLiteral("TX");
                case ExchangeDirection::Received:
                    return QStringLiteral("RX");
                case ExchangeDirection::None:
                    return {};
            }
            return {};
        case CommandColumn:
            return CommandText(row);
        case BytesColumn:
            return BytesText(row);
        case ChecksumColumn:
            return ChecksumText(row);
        case SettingsColumn:
            return row.settings;
        default:
            return {};
    }
}

QString ExchangeRowText(const ExchangeRow& row, const ExchangeRow* previous) {
    QStringList cells;
    for (int column = 0; column < ExchangeColumnCount; ++column)
        cells << ExchangeCellText(row, previous, column);
    return cells.join(u'\t');
}

ExchangeLog::ExchangeLog(size_t maxRows) : maxRows_(maxRows) {}

void ExchangeLog::linkTraffic(LinkTraffic what, const uint8_t* bytes, uint32_t count,
                              int64_t timeUs) {
    switch (what) {
        case LinkTraffic::Sent:
            // The exchange has moved on: a reply begun before will not be completed.
            endPending(received_);
            take(ExchangeDirection::Sent, bytes, count, timeUs);
            break;
        case LinkTraffic::Received:
            take(ExchangeDirection::Received, bytes, count, timeUs);
            break;
        case LinkTraffic::Purged:
            endPending(received_);
            endData();
            add(row(ExchangeRowKind::Purge, ExchangeDirection::Received,
                    QByteArrayView(bytes, count), timeUs));
            break;
    }
}

void ExchangeLog::linkSettings(const QString& settings, const QString& port, bool searching,
                               int64_t timeUs) {
    addSettings(settings, port, searching, std::nullopt, timeUs);
}

void ExchangeLog::linkSettingsConfirmed(const QString& settings, const QString& port,
                                        bool searching, int64_t roundTripUs, int64_t timeUs) {
    addSettings(settings, port, searching, roundTripUs, timeUs);
}

void ExchangeLog::addSettings(const QString& settings, const QString& port, bool searching,
                              std::optional<int64_t> roundTripUs, int64_t timeUs) {
    endOpenRows();
    settings_ = settings;
    ExchangeRow changed = row(ExchangeRowKind::Settings, ExchangeDirection::None, {}, timeUs);
    changed.search = searching;
    changed.port = port;
    changed.roundTripUs = roundTripUs;
    add(std::move(changed));
}

void ExchangeLog::linkModemLine(const QString& line, bool on, const QString& port, int64_t timeUs) {
    endOpenRows();
    ExchangeRow changed = row(ExchangeRowKind::Settings, ExchangeDirection::None, {}, timeUs);
    changed.port = port;
    changed.modemLine = line + (on ? QStringLiteral("=1") : QStringLiteral("=0"));
    add(std::move(changed));
}

// Cuts the bytes, with the start of a frame left from before, into frames and data.
void ExchangeLog::take(ExchangeDirection direction, const uint8_t* bytes, uint32_t count,
                       int64_t timeUs) {
    Pending& pending = direction == ExchangeDirection::Sent ? sent_ : received_;
    if (pending.bytes.isEmpty()) pending.sinceUs = timeUs;
    pending.bytes.append(reinterpret_cast<const char*>(bytes), count);
    const QByteArray all = std::exchange(pending.bytes, {});
    const char* p = all.constData();
    const qsizetype size = all.size();
    qsizetype dataStart = 0;
    qsizetype at = 0;
    while (at < size) {
        const void* found = std::memchr(p + at, FrameHeader1, static_cast<size_t>(size - at));
        if (!found) break;
        at = static_cast<const char*>(found) - p;
        const qsizetype left = size - at;
        const auto second = left > 1 ? static_cast<uint8_t>(p[at + 1]) : FrameHeader2;
        const auto length = left > 2 ? static_cast<uint8_t>(p[at + 2]) : uint8_t{MinFrameLength};
        const bool maybeFrame =
            second == FrameHeader2 && length >= MinFrameLength && length <= MaxReplyLength;
        if (!maybeFrame) {
            ++at;
            continue;
        }
        addData(direction, p + dataStart, at - dataStart, pending.sinceUs);
        if (left < 3 || left < FrameSize(length)) {
            pending.bytes = all.mid(at);
            return;
        }
        endData();
        add(row(ExchangeRowKind::Frame, direction, QByteArrayView(p + at, FrameSize(length)),
                pending.sinceUs));
        at += FrameSize(length);
        dataStart = at;
        pending.sinceUs = timeUs;
    }
    addData(direction, p + dataStart, size - dataStart, pending.sinceUs);
}

void ExchangeLog::addData(ExchangeDirection direction, const char* bytes, qsizetype count,
                          int64_t timeUs) {
    if (count == 0) return;
    if (data_ && (data_->direction != direction || timeUs - data_->timeUs >= GatherUs)) endData();
    if (!data_) {
        data_ = row(ExchangeRowKind::Data, direction, QByteArrayView(bytes, count), timeUs);
        return;
    }
    data_->byteCount += static_cast<uint32_t>(count);
    const qsizetype room = ShownBytes - data_->bytes.size();
    if (room > 0) data_->bytes.append(bytes, std::min(room, count));
}

void ExchangeLog::endPending(Pending& pending) {
    if (pending.bytes.isEmpty()) return;
    endData();
    const ExchangeDirection direction =
        &pending == &sent_ ? ExchangeDirection::Sent : ExchangeDirection::Received;
    add(row(ExchangeRowKind::Incomplete, direction, pending.bytes, pending.sinceUs));
    pending.bytes.clear();
}

void ExchangeLog::endData() {
    if (!data_) return;
    add(std::move(*data_));
    data_.reset();
}

void ExchangeLog::endOpenRows() {
    endPending(sent_);
    endPending(received_);
    endData();
}

void ExchangeLog::settle(int64_t nowUs) {
    if (data_ && nowUs - data_->timeUs >= GatherUs) endData();
    for (Pending* pending : {&sent_, &received_}) {
        if (!pending->bytes.isEmpty() && nowUs - pending->sinceUs >= GatherUs) endPending(*pending);
    }
}

void ExchangeLog::takeRowsOf(ExchangeLog& other) {
    endOpenRows();
    other.endOpenRows();
    for (ExchangeRow& row : other.rows_) add(std::move(row));
    rowsLeft_ += other.rowsLeft_;
    if (!other.settings_.isEmpty()) settings_ = other.settings_;
    other.clear();
}

void ExchangeLog::add(ExchangeRow row) {
    rows_.push_back(std::move(row));
    if (rows_.size() > maxRows_) {
        rows_.pop_front();
        ++rowsLeft_;
        ++firstRowNumber_;
    }
}

ExchangeRow ExchangeLog::row(ExchangeRowKind kind, ExchangeDirection direction,
                             QByteArrayView bytes, int64_t timeUs) const {
    ExchangeRow made;
    made.timeUs = timeUs;
    made.kind = kind;
    made.direction = direction;
    made.byteCount = static_cast<uint32_t>(bytes.size());
    const qsizetype kept = kind == ExchangeRowKind::Frame ? bytes.size() : ShownBytes;
    made.bytes = bytes.first(std::min(kept, bytes.size())).toByteArray();
    made.settings = settings_;
    return made;
}

void ExchangeLog::clear() {
    firstRowNumber_ += rows_.size();
    rows_.clear();
    rowsLeft_ = 0;
}
