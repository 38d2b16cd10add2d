#include "core/regularfile.h"

#include <algorithm>

#ifdef Q_OS_WIN
#include <QFileInfo>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#endif

namespace {

const QString NotRegular = QStringLiteral("not a regular file");

QString TooLargeText(qint64 most) {
    constexpr qint64 MiB = 1024 * 1024;
    if (most % MiB == 0) return QStringLiteral("larger than %1 MiB").arg(most / MiB);
    return QStringLiteral("larger than %1 KiB").arg(most / 1024);
}

#ifndef Q_OS_WIN
QString SystemWords(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}
#endif

}  // namespace

QString OpenRegularFile(const QString& path, QFile& file) {
#ifdef Q_OS_WIN
    const QFileInfo info(path);
    if (info.exists() && !info.isFile()) return NotRegular;
    file.setFileName(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) return file.errorString();
    return {};
#else
    const QByteArray name = QFile::encodeName(path);
    struct stat status {};
    // Looked at before it is opened: opening a device is not harmless (a serial port's modem
    // lines change, a tape rewinds).
    if (::stat(name.constData(), &status) != 0) return SystemWords(errno);
    if (!S_ISREG(status.st_mode)) return NotRegular;
    // Should a FIFO or a terminal take the name meanwhile, the open neither waits for a writer
    // nor takes a controlling terminal, and the fstat refuses it.
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return SystemWords(errno);
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        return NotRegular;
    }
    if (!file.open(fd, QIODevice::ReadOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return file.errorString();
    }
    return {};
#endif
}

// The size is checked first, and again as the pieces come, for a file that grows or that, like
// those in /proc, says it has none.
QString ReadWholeFile(QFile& file, qint64 most, QDeadlineTimer deadline, QByteArray& text) {
    constexpr qint64 Piece = 64 * 1024;
    if (file.size() > most) return TooLargeText(most);
    while (text.size() <= most) {
        if (deadline.hasExpired()) return QStringLiteral("not read within the time-out");
        const QByteArray piece = file.read(std::min(Piece, most + 1 - text.size()));
        if (piece.isEmpty()) {
            return file.error() == QFileDevice::NoError ? QString() : file.errorString();
        }
        text += piece;
    }
    return TooLargeText(most);
}
