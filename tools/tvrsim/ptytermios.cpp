// Kept apart: the kernel's termios2 (which carries any rate) clashes with the C library's
// <termios.h>.
#include <asm/termbits.h>
#include <sys/ioctl.h>

#include "tools/tvrsim/ptyend.h"

std::optional<PtySettings> ReadPtySettings(int master) {
    struct termios2 tio {};
    if (ioctl(master, TCGETS2, &tio) != 0) return std::nullopt;
    PtySettings settings;
    settings.line.baudRate = static_cast<int32_t>(tio.c_ospeed);
    if (tio.c_cflag & PARODD) {
        settings.line.parity = ParityMode::Odd;
    } else if (tio.c_cflag & PARENB) {
        settings.line.parity = ParityMode::Even;
    } else {
        settings.line.parity = ParityMode::None;
    }
    settings.line.stopBits = (tio.c_cflag & CSTOPB) ? 2 : 1;
    settings.extproc = (tio.c_lflag & EXTPROC) != 0;
    return settings;
}
