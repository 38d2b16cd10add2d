#include "tools/tvrsim/ptyend.h"

#include <fcntl.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

PtyEnd::~PtyEnd() {
    close();
}

std::string PtyEnd::open() {
    char name[128] = {};
    if (openpty(&master, &slave, name, nullptr, nullptr) != 0) {
        return std::string("cannot create a pseudo-terminal: ") + std::strerror(errno);
    }
    slavePath = name;
    termios tio{};
    tcgetattr(slave, &tio);
    cfmakeraw(&tio);
    cfsetspeed(&tio, B9600);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_lflag |= EXTPROC;
    const int packet = 1;
    if (tcsetattr(slave, TCSANOW, &tio) != 0 || ioctl(master, TIOCPKT, &packet) != 0 ||
        fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK) != 0) {
        return std::string("cannot set up ") + slavePath + ": " + std::strerror(errno);
    }
    return {};
}

std::string PtyEnd::makeLink(const std::string& path) {
    struct stat st {};
    if (lstat(path.c_str(), &st) == 0) {
        if (!S_ISLNK(st.st_mode)) return path + " exists and is not a symbolic link";
        ::unlink(path.c_str());
    }
    if (symlink(slavePath.c_str(), path.c_str()) != 0) {
        return "cannot make the link " + path + ": " + std::strerror(errno);
    }
    link = path;
    return {};
}

void PtyEnd::removeLink() {
    if (link.empty()) return;
    char target[256] = {};
    const ssize_t n = readlink(link.c_str(), target, sizeof target - 1);
    if (n >= 0 && slavePath == std::string(target, static_cast<size_t>(n))) ::unlink(link.c_str());
    link.clear();
}

void PtyEnd::close() {
    if (master >= 0) ::close(master);
    if (slave >= 0) ::close(slave);
    master = slave = -1;
}

void PtyEnd::restoreExtproc() {
    termios tio{};
    if (tcgetattr(slave, &tio) != 0 || (tio.c_lflag & EXTPROC)) return;
    tio.c_lflag |= EXTPROC;
    tcsetattr(slave, TCSANOW, &tio);
}
