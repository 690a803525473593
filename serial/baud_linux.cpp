// Apart from port_posix.cpp because <asm/termbits.h> redefines what
// <termios.h> declares.
#include "serial/baud_linux.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

bool SetArbitraryRate(int fd, uint32_t rate) {
    struct termios2 t {};
    if (ioctl(fd, TCGETS2, &t) != 0) return false;
    t.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));  // input rate bits 0: same as output
    t.c_cflag |= BOTHER;
    t.c_ispeed = rate;
    t.c_ospeed = rate;
    return ioctl(fd, TCSETS2, &t) == 0;
}
