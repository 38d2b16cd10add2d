#include "tools/tvrctl/history.h"

#include <unistd.h>

#include <QEventLoop>
#include <algorithm>
#include <cstdio>

#include "core/escape.h"
#include "records/historyexport.h"
#include "records/recordlocation.h"
#include "records/recordstore.h"

namespace {

void Write(FILE* stream, const QByteArray& bytes) {
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

// Waits for the store's answer to `ask`; the store bounds how long the database may take.
template <typename Answer, typename Ask>
Answer Await(Ask ask) {
    QEventLoop loop;
    std::optional<Answer> answer;
    ask([&](const Answer& given) {
        answer = given;
        loop.quit();
    });
    if (!answer) loop.exec();
    return *answer;
}

QString ResultText(const RadioRecord& record) {
    return record.passed ? QStringLiteral("PASS") : QStringLiteral("FAIL");
}

// A line per record under a header, each column as wide as its widest cell; every cell's
// control characters made visible, so that a device's text cannot act on the terminal.
QByteArray HistoryTable(const QList<RadioRecord>& records) {
    QList<QStringList> rows{{"TIME (UTC)", "RESULT", "ID", "MODEL", "FIRMWARE", "PORT", "DEVICE",
                             "STATION", "OPERATOR", "REASON"}};
    for (const RadioRecord& r : records) {
        const auto shown = [](const QString& text) {
            return text.isEmpty() ? QStringLiteral("-") : EscapeControlCharacters(text);
        };
        QString reason = r.reason;
        if (!r.detail.isEmpty()) reason += QStringLiteral(" (%1)").arg(r.detail);
        rows << QStringList{r.timeUtc.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
                            ResultText(r),
                            shown(r.idGiven),
                            r.modelCode < 0 ? QStringLiteral("-") : QString::number(r.modelCode),
                            shown(r.firmware),
                            shown(r.port),
                            shown(r.device),
                            shown(r.station),
                            shown(r.operatorName),
                            EscapeControlCharacters(reason)};
    }
    QList<qsizetype> widths(rows[0].size(), 0);
    for (const QStringList& row : rows) {
        for (qsizetype i = 0; i < row.size(); ++i) widths[i] = std::max(widths[i], row[i].size());
    }
    QString text;
    for (const QStringList& row : rows) {
        QString line;
        for (qsizetype i = 0; i < row.size(); ++i) {
            line += i + 1 < row.size() ? row[i].leftJustified(widths[i] + 2) : row[i];
        }
        text += line.trimmed() + u'\n';
    }
    return text.toLocal8Bit();
}

// CSV as it is for a file; on a terminal its control characters are made visible, line
// breaks kept.
QByteArray CsvOutput(const QList<RadioRecord>& records) {
    const QByteArray csv = HistoryCsv(records);
    if (!isatty(STDOUT_FILENO)) return csv;
    QStringList lines = QString::fromUtf8(csv).split(QStringLiteral("\r\n"));
    for (QString& line : lines) line = EscapeControlCharacters(line);
    return lines.join(QStringLiteral("\r\n")).toLocal8Bit();
}

}  // namespace

int RunHistory(const CtlOptions& options) {
    RecordStoreSettings settings;
    settings.location = options.database;
    settings.createMissing = false;
    const QString where = EscapeControlCharacters(options.database.isEmpty() ? DefaultRecordsPath()
                                                                             : options.database);
    RecordStore store;
    const StoreOpening opening =
        Await<StoreOpening>([&](auto done) { store.open(settings, std::move(done)); });
    if (opening.failure != StoreOpening::Failure::None) {
        Write(stderr, QStringLiteral("tvrctl: the records at %1 cannot be opened: %2\n")
                          .arg(where, EscapeControlCharacters(opening.detail))
                          .toLocal8Bit());
        return CtlExit::RecordsUnavailable;
    }
    HistoryFilter filter;
    filter.since = options.since;
    if (options.passed) {
        filter.result = *options.passed ? HistoryFilter::Result::Pass : HistoryFilter::Result::Fail;
    }
    const HistoryAnswer answer =
        Await<HistoryAnswer>([&](auto done) { store.history(filter, std::move(done)); });
    if (answer.failure != HistoryAnswer::Failure::None) {
        Write(stderr, QStringLiteral("tvrctl: the records at %1 cannot be read: %2\n")
                          .arg(where, EscapeControlCharacters(answer.detail))
                          .toLocal8Bit());
        return CtlExit::RecordsUnavailable;
    }
    if (options.json) {
        Write(stdout, HistoryJsonLines(answer.records));
    } else if (options.csv) {
        Write(stdout, CsvOutput(answer.records));
    } else {
        Write(stdout, HistoryTable(answer.records));
    }
    if (answer.more) {
        Write(stderr, QStringLiteral("tvrctl: more records match; these are the newest %1\n")
                          .arg(answer.records.size())
                          .toLocal8Bit());
    }
    return CtlExit::Ok;
}
