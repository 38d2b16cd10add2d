#pragma once

// A pseudo-terminal whose far end a test plays, every wait on it bounded.

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <QByteArray>
#include <QDeadlineTimer>
#include <QString>
#include <algorithm>

// A pseudo-terminal pair: the program opens the slave by name, the test plays the far end
// through the master, which never blocks so that every wait has a bound.
struct PtyPair {
    int master = -1;
    QString slaveName;
    PtyPair() {
        int slave = -1;
        char name[256] = {};
        if (::openpty(&master, &slave, name, nullptr, nullptr) != 0) return;
        slaveName = QString::fromLocal8Bit(name);
        ::close(slave);
        termios raw{};
        ::tcgetattr(master, &raw);
        ::cfmakeraw(&raw);
        ::tcsetattr(master, TCSANOW, &raw);
        ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    }
    ~PtyPair() { closeMaster(); }
    void closeMaster() {
        if (master >= 0) ::close(master);
        master = -1;
    }
    // Writes all the bytes unless the program's side stops taking them for timeoutMs; returns
    // the count written.
    qsizetype send(const QByteArray& bytes, int timeoutMs = 2000) const {
        qsizetype done = 0;
        QDeadlineTimer deadline(timeoutMs);
        while (done < bytes.size()) {
            const ssize_t n = ::write(master, bytes.constData() + done, bytes.size() - done);
            if (n > 0) {
                done += n;
                continue;
            }
            pollfd fd{master, POLLOUT, 0};
            if (deadline.hasExpired() ||
                ::poll(&fd, 1, static_cast<int>(deadline.remainingTime())) <= 0) {
                break;
            }
        }
        return done;
    }
    // Reads until `done(received)`, the time limit or `limit` bytes.
    template <typename Done>
    QByteArray receiveUntil(Done done, int timeoutMs, qsizetype limit = 1024 * 1024) const {
        QByteArray received;
        QByteArray chunk(64 * 1024, '\0');
        QDeadlineTimer deadline(timeoutMs);
        while (!done(received) && received.size() < limit) {
            const ssize_t n =
                ::read(master, chunk.data(), std::min(chunk.size(), limit - received.size()));
            if (n > 0) {
                received.append(chunk.constData(), n);
                continue;
            }
            pollfd fd{master, POLLIN, 0};
            if (deadline.hasExpired() ||
                ::poll(&fd, 1, static_cast<int>(deadline.remainingTime())) <= 0) {
                break;
            }
        }
        return received;
    }
    QByteArray receive(qsizetype expected, int timeoutMs = 2000) const {
        return receiveUntil([](const QByteArray&) { return false; }, timeoutMs, expected);
    }
    speed_t slaveSpeed() const {
        termios attributes{};
        ::tcgetattr(master, &attributes);
        return ::cfgetospeed(&attributes);
    }
};
