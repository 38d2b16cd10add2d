#include "monitor/trafficlog.h"

#include <QDateTime>
#include <QFileInfo>

namespace {

const QByteArray TextHeader =
    "# tvrsetup traffic log 1\n"
    "# time (UTC) direction (TX, RX, PURGED, SEARCH, SETTINGS) bytes in hexadecimal or settings\n";

}  // namespace

QString RawSentPath(const QString& path) {
    return path + QStringLiteral(".tx");
}

QStringList ExistingLogFiles(const QString& path, TrafficLogFormat format) {
    QStringList files{path};
    if (format == TrafficLogFormat::Raw) files << RawSentPath(path);
    QStringList existing;
    for (const QString& file : files) {
        if (QFileInfo::exists(file)) existing << file;
    }
    return existing;
}

QString DefaultLogFileName(const QDateTime& localTime) {
    return QStringLiteral("tvr-traffic-%1.log")
        .arg(localTime.toString(QStringLiteral("yyyyMMdd-HHmmss")));
}

// One file of the log, with its rotation.
class TrafficLog::Output {
  public:
    Output(QString path, QByteArray header, const TrafficLogSettings& settings)
        : path_(std::move(path)), header_(std::move(header)), settings_(settings) {}

    bool open() { return openAs(OpenModeFor(settings_.existing)); }

    // Rotates first when the bytes would take the file past its size.
    bool write(const QByteArray& bytes) {
        if (size_ > header_.size() && size_ + bytes.size() > settings_.rotateBytes && !rotate())
            return false;
        return put(bytes);
    }

    QString errorText() const { return QStringLiteral("%1: %2").arg(path_, error_); }

    // Takes back the file this log created, when the log could not begin after all.
    void discardCreated() {
        if (!created_) return;
        file_.close();
        QFile::remove(path_);
    }

  private:
    static QIODevice::OpenMode OpenModeFor(ExistingLogFile existing) {
        switch (existing) {
            case ExistingLogFile::Append:
                return QIODevice::Append;
            case ExistingLogFile::Replace:
                return QIODevice::Truncate;
            case ExistingLogFile::Refuse:
                break;
        }
        return QIODevice::NewOnly;
    }

    // Unbuffered, so that the file on disk is whole up to the last event. A text log's header
    // begins an empty file only: an appended one has it already.
    bool openAs(QIODevice::OpenMode mode) {
        file_.setFileName(path_);
        if (!file_.open(QIODevice::WriteOnly | QIODevice::Unbuffered | mode))
            return fail(file_.errorString());
        created_ = mode == QIODevice::NewOnly;
        size_ = file_.size();
        return size_ > 0 || header_.isEmpty() || put(header_);
    }

    // A short write is tried again for the rest: the call that takes nothing carries the
    // system's reason, where the short one carried none.
    bool put(const QByteArray& bytes) {
        for (qint64 done = 0; done < bytes.size();) {
            const qint64 taken = file_.write(bytes.constData() + done, bytes.size() - done);
            if (taken <= 0) return fail(file_.errorString());
            done += taken;
            size_ += taken;
        }
        return true;
    }

    // The current file becomes "<name>.1" before a new one is begun; should it not move, the
    // log stops rather than empty it.
    bool rotate() {
        file_.close();
        const auto old = [this](int n) { return QStringLiteral("%1.%2").arg(path_).arg(n); };
        if (settings_.keptFiles > 0) {
            QFile::remove(old(settings_.keptFiles));
            for (int n = settings_.keptFiles - 1; n >= 1; --n) QFile::rename(old(n), old(n + 1));
            QFile current(path_);
            if (!current.rename(old(1))) return fail(current.errorString());
        }
        return openAs(QIODevice::Truncate);
    }

    bool fail(const QString& why) {
        error_ = why;
        return false;
    }

    QString path_;
    QByteArray header_;
    const TrafficLogSettings& settings_;
    QFile file_;
    qint64 size_ = 0;
    bool created_ = false;
    QString error_;
};

TrafficLog::TrafficLog() = default;
TrafficLog::~TrafficLog() = default;

bool TrafficLog::start(const TrafficLogSettings& settings) {
    stop();
    settings_ = settings;
    error_.clear();
    const bool text = settings.format == TrafficLogFormat::Text;
    main_ = std::make_unique<Output>(settings_.path, text ? TextHeader : QByteArray(), settings_);
    if (!text)
        sent_ = std::make_unique<Output>(RawSentPath(settings_.path), QByteArray(), settings_);
    for (Output* output : {main_.get(), sent_.get()}) {
        if (output && !output->open()) {
            error_ = output->errorText();
            main_->discardCreated();
            stop();
            return false;
        }
    }
    return true;
}

void TrafficLog::stop() {
    main_.reset();
    sent_.reset();
}

bool TrafficLog::running() const {
    return main_ != nullptr;
}

void TrafficLog::setFailureHandler(std::function<void(const QString&)> handler) {
    failed_ = std::move(handler);
}

void TrafficLog::linkTraffic(LinkTraffic what, const uint8_t* bytes, uint32_t count,
                             int64_t timeUs) {
    if (!running()) return;
    if (settings_.format == TrafficLogFormat::Raw) {
        Output& output = what == LinkTraffic::Sent ? *sent_ : *main_;
        write(output, QByteArray(reinterpret_cast<const char*>(bytes), count));
        return;
    }
    switch (what) {
        case LinkTraffic::Sent:
            writeLines("TX", bytes, count, timeUs);
            break;
        case LinkTraffic::Received:
            writeLines("RX", bytes, count, timeUs);
            break;
        case LinkTraffic::Purged:
            writeLines("PURGED", bytes, count, timeUs);
            break;
    }
}

void TrafficLog::linkSettings(const QString& settings, const QString& port, bool searching,
                              int64_t timeUs) {
    writeSettings(settings, port, searching, {}, timeUs);
}

void TrafficLog::linkSettingsConfirmed(const QString& settings, const QString& port, bool searching,
                                       int64_t roundTripUs, int64_t timeUs) {
    writeSettings(settings, port, searching,
                  " confirmed in " + QByteArray::number(roundTripUs / 1000.0, 'f', 1) + " ms",
                  timeUs);
}

void TrafficLog::writeSettings(const QString& settings, const QString& port, bool searching,
                               const QByteArray& tail, int64_t timeUs) {
    if (!running() || settings_.format != TrafficLogFormat::Text) return;
    write(*main_, timeText(timeUs) + (searching ? " SEARCH " : " SETTINGS ") + settings.toLatin1() +
                      ' ' + port.toUtf8() + tail + '\n');
}

void TrafficLog::linkModemLine(const QString& line, bool on, const QString& port, int64_t timeUs) {
    if (!running() || settings_.format != TrafficLogFormat::Text) return;
    write(*main_, timeText(timeUs) + " SETTINGS " + line.toLatin1() + (on ? "=1 " : "=0 ") +
                      port.toUtf8() + '\n');
}

void TrafficLog::writeLines(const char* tag, const uint8_t* bytes, uint32_t count, int64_t timeUs) {
    const QByteArray lead = timeText(timeUs) + ' ' + tag + ' ';
    QByteArray lines;
    lines.reserve((lead.size() + 3 * TrafficLogBytesPerLine) *
                  (count / TrafficLogBytesPerLine + 1));
    for (uint32_t done = 0; done < count; done += TrafficLogBytesPerLine) {
        const uint32_t n = std::min<uint32_t>(count - done, TrafficLogBytesPerLine);
        lines += lead;
        lines += QByteArray::fromRawData(reinterpret_cast<const char*>(bytes + done), n)
                     .toHex(' ')
                     .toUpper();
        lines += '\n';
    }
    write(*main_, lines);
}

void TrafficLog::write(Output& output, const QByteArray& bytes) {
    if (!output.write(bytes)) fail(output);
}

void TrafficLog::fail(const Output& output) {
    error_ = output.errorText();
    stop();
    if (failed_) failed_(error_);
}

// "2024-05-01T12:00:00.123456Z"; the text of the second is made once per second.
QByteArray TrafficLog::timeText(int64_t timeUs) {
    const int64_t second = timeUs >= 0 ? timeUs / 1000000 : (timeUs - 999999) / 1000000;
    if (second != cachedSecond_) {
        cachedSecond_ = second;
        cachedSecondText_ = QDateTime::fromSecsSinceEpoch(second, Qt::UTC)
                                .toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss"))
                                .toLatin1();
    }
    const int64_t micro = timeUs - second * 1000000;
    return cachedSecondText_ + '.' + QByteArray::number(micro).rightJustified(6, '0') + 'Z';
}
