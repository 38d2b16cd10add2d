#pragma once

// The exchange monitor's record, kept without widgets: the bytes the link saw, cut into the
// radio's command frames (one row per frame sent and per reply), the bytes around them that
// form no frame, purges, the line settings of every search attempt and the modem lines' changes. At
// most a given number of rows are kept; older ones leave and are counted.

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <deque>
#include <optional>

#include "serial/linkobserver.h"

enum class ExchangeDirection : uint8_t { Sent, Received, None };

enum class ExchangeRowKind : uint8_t {
    Frame,       // a whole command frame or reply, its checksum right or wrong
    Data,        // bytes that form no frame, gathered for up to a second
    Incomplete,  // a frame's start whose rest never came
    Purge,       // received bytes a purge threw away
    Settings,    // the port's line settings changed
};

struct ExchangeRow {
    int64_t timeUs = 0;  // when the first of its bytes passed
    ExchangeRowKind kind = ExchangeRowKind::Data;
    ExchangeDirection direction = ExchangeDirection::None;
    bool search = false;     // settings set by an attempt of the speed-and-parity search
    uint32_t byteCount = 0;  // all its bytes; `bytes` holds the first ShownBytes of them
    QByteArray bytes;        // a frame's bytes are all kept
    QString settings;        // the line settings in force, or the new ones
    QString port;            // a settings row's port
    QString modemLine;       // a settings row's modem line that changed, as "CTS=1"
    // A settings row's: how long a network serial server took to confirm them.
    std::optional<int64_t> roundTripUs;
};

enum class ChecksumVerdict { NotAFrame, Good, Bad };

struct DecodedFrame {
    ChecksumVerdict verdict = ChecksumVerdict::NotAFrame;
    uint8_t code = 0;
    uint16_t carried = 0;   // the checksum the frame carries
    uint16_t computed = 0;  // the sum of its bytes
};

// Judges the frame that fills `bytes`: 55 AA, a length byte L of 2 to 29, L bytes from the
// length byte on, then their 16-bit sum, high byte first.
DecodedFrame DecodeFrame(QByteArrayView bytes);

// The command a code stands for, as "read channel"; unknown codes are named as such.
QString CommandName(uint8_t code);

enum ExchangeColumn {
    TimeColumn,
    DeltaColumn,
    DirectionColumn,
    CommandColumn,
    BytesColumn,
    ChecksumColumn,
    SettingsColumn,
    ExchangeColumnCount
};

QString ExchangeColumnTitle(int column);
// The text of a cell; `previous` is the row before it, for the time since.
QString ExchangeCellText(const ExchangeRow& row, const ExchangeRow* previous, int column);
// The row's cells joined by tabs, as copied and saved.
QString ExchangeRowText(const ExchangeRow& row, const ExchangeRow* previous);

class ExchangeLog : public LinkObserver {
  public:
    static constexpr size_t MaxRows = 100000;
    static constexpr int ShownBytes = 32;
    // Data gather into one row, and the start of a frame waits for its rest, this long.
    static constexpr int64_t GatherUs = 1000000;

    explicit ExchangeLog(size_t maxRows = MaxRows);

    void linkTraffic(LinkTraffic what, const uint8_t* bytes, uint32_t count,
                     int64_t timeUs) override;
    void linkSettings(const QString& settings, const QString& port, bool searching,
                      int64_t timeUs) override;
    void linkSettingsConfirmed(const QString& settings, const QString& port, bool searching,
                               int64_t roundTripUs, int64_t timeUs) override;
    void linkModemLine(const QString& line, bool on, const QString& port, int64_t timeUs) override;

    // Ends data rows and frame starts that have waited GatherUs by `nowUs`.
    void settle(int64_t nowUs);
    // Ends the rows of both logs that are still open and moves the other's rows, with the
    // count of those that left it, behind this log's own; the other is left empty.
    void takeRowsOf(ExchangeLog& other);

    const std::deque<ExchangeRow>& rows() const { return rows_; }
    // Rows that left to keep at most the given number.
    uint64_t rowsLeft() const { return rowsLeft_; }
    // The number of the first row kept, counting every row ever added from 0.
    uint64_t firstRowNumber() const { return firstRowNumber_; }
    void clear();

  private:
    struct Pending {
        QByteArray bytes;  // the start of a frame, waiting for its rest
        int64_t sinceUs = 0;
    };

    void take(ExchangeDirection direction, const uint8_t* bytes, uint32_t count, int64_t timeUs);
    void addData(ExchangeDirection direction, const char* bytes, qsizetype count, int64_t timeUs);
    void endPending(Pending& pending);
    void endData();
    void endOpenRows();
    void addSettings(const QString& settings, const QString& port, bool searching,
                     std::optional<int64_t> roundTripUs, int64_t timeUs);
    void add(ExchangeRow row);
    ExchangeRow row(ExchangeRowKind kind, ExchangeDirection direction, QByteArrayView bytes,
                    int64_t timeUs) const;

    size_t maxRows_;
    std::deque<ExchangeRow> rows_;
    uint64_t rowsLeft_ = 0;
    uint64_t firstRowNumber_ = 0;
    QString settings_;
    Pending sent_;
    Pending received_;
    std::optional<ExchangeRow> data_;  // the data row still gathering
};
