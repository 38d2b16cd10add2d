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

// JSON escapes the C0 controls itself; DEL and the C1 controls, which a terminal may also
// act on, are written as \u escapes too, which read back as the same text.
QByteArray JsonLinesOutput(const QList<RadioRecord>& records) {
    const QString json = QString::fromUtf8(HistoryJsonLines(records));
    QString safe;
    safe.reserve(json.size());
    for (const QChar c : json) {
        if (c.unicode() >= 0x7f && c.unicode() <= 0x9f) {
            safe += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
        } else {
            safe += c;
        }
    }
    return safe.toUtf8();
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

QString LocationText(LocationError error, const QString& detail) {
    switch (error) {
        case LocationError::UnknownKind:
            return QStringLiteral(
                       "unknown kind of database '%1': give a file or "
                       "postgresql://USER@HOST[:PORT]/DATABASE")
                .arg(detail);
        case LocationError::NotAUrl:
            return QStringLiteral("not a valid URL: %1").arg(detail);
        case LocationError::NoUser:
            return QStringLiteral("the URL names no user: postgresql://USER@HOST/DATABASE");
        case LocationError::NoHost:
            return QStringLiteral("the URL names no host: postgresql://USER@HOST/DATABASE");
        case LocationError::BadPort:
            return QStringLiteral("the URL's port is not one from 1 to 65535");
        case LocationError::NoDatabase:
            return QStringLiteral("the URL names no database: it ends in /DATABASE");
        case LocationError::ExtraParts:
            return QStringLiteral("the URL has a part after the database");
        case LocationError::None:
            break;
    }
    return detail;
}

QString OpeningText(const StoreOpening& opening) {
    switch (opening.failure) {
        case StoreOpening::Failure::BadLocation:
            return LocationText(opening.location, opening.detail);
        case StoreOpening::Failure::NoDriver:
            return QStringLiteral("Qt has no %1 driver; install libqt6sql6-%2")
                .arg(opening.detail, opening.detail == "QPSQL" ? "psql" : "sqlite");
        case StoreOpening::Failure::NotFound:
            return QStringLiteral("no such file");
        case StoreOpening::Failure::Unreachable:
            return QStringLiteral("the server cannot be reached: %1").arg(opening.detail);
        case StoreOpening::Failure::Refused:
            return QStringLiteral("the server refused: %1").arg(opening.detail);
        case StoreOpening::Failure::NewerSchema:
            return QStringLiteral(
                       "a newer version of the program made it (its tables are "
                       "version %1, this one knows up to %2); it is left as it is")
                .arg(opening.detail)
                .arg(CurrentSchemaVersion);
        case StoreOpening::Failure::SchemaFailed:
            return QStringLiteral("its tables could not be made or upgraded: %1")
                .arg(opening.detail);
        case StoreOpening::Failure::CannotOpen:
        case StoreOpening::Failure::None:
            break;
    }
    return opening.detail;
}

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
                          .arg(where, EscapeControlCharacters(OpeningText(opening)))
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
        Write(stdout, JsonLinesOutput(answer.records));
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
