// The rate the slave side of a pty is set to, read from the master. Kept
// apart because <asm/termbits.h> and <termios.h> cannot share a file.
#include "tools/loader_sim/line_rate.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace {

uint32_t TableRate(unsigned code) {
    switch (code) {
    case B50: return 50;
    case B75: return 75;
    case B110: return 110;
    case B134: return 134;
    case B150: return 150;
    case B200: return 200;
    case B300: return 300;
    case B600: return 600;
    case B1200: return 1200;
    case B1800: return 1800;
    case B2400: return 2400;
    case B4800: return 4800;
    case B9600: return 9600;
    case B19200: return 19200;
    case B38400: return 38400;
    case B57600: return 57600;
    case B115200: return 115200;
    case B230400: return 230400;
    case B460800: return 460800;
    case B500000: return 500000;
    case B576000: return 576000;
    case B921600: return 921600;
    case B1000000: return 1000000;
    default: return 0;
    }
}

}  // namespace

uint32_t PtyLineRate(int master_fd) {
    struct termios2 t {};
    if (ioctl(master_fd, TCGETS2, &t) != 0) return 0;
    unsigned code = t.c_cflag & CBAUD;
    if (code == BOTHER) return t.c_ospeed;
    // A pty keeps whatever the slave set; the kernel also fills c_ospeed for
    // table rates, but the table is the authority for those.
    uint32_t rate = TableRate(code);
    return rate != 0 ? rate : t.c_ospeed;
}
