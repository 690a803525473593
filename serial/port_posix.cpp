// The serial backend on POSIX terminals (Linux): termios for the line,
// poll with a wake-up pipe in place of the Win32 event mask, a pthread for
// the receive loop.
//
// Device naming: `device_path` when set; otherwise port_number n maps to
// /dev/ttyS<n-1>, so COM1 is /dev/ttyS0, as Wine maps its COM ports.
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <new>

#include "serial/baud_linux.h"
#include "serial/port.h"
#include "serial/port_os_posix.h"

namespace {

constexpr uint32_t kReadBlock = 80;     // one read of the receive thread
constexpr int kWriteGiveUpMs = 1000;    // a byte the line does not take by then is lost
constexpr int kHangupRetryMs = 50;      // how often a hung-up line is looked at again

// Thread ids of our own: known before the thread starts, so its end can
// never be recorded before its start. Never 0.
std::atomic<uint32_t> g_next_thread_id{0};

uint32_t NewThreadId() {
    uint32_t id;
    do {
        id = g_next_thread_id.fetch_add(1) + 1;
    } while (id == 0);
    return id;
}

void CloseFd(int* fd) {
    if (*fd >= 0) close(*fd);
    *fd = -1;
}

bool TableSpeed(uint32_t rate, speed_t* speed) {
    static const struct {
        uint32_t rate;
        speed_t speed;
    } kTable[] = {{50, B50},       {75, B75},         {110, B110},       {134, B134},       {150, B150},
                  {200, B200},     {300, B300},       {600, B600},       {1200, B1200},     {1800, B1800},
                  {2400, B2400},   {4800, B4800},     {9600, B9600},     {19200, B19200},   {38400, B38400},
                  {57600, B57600}, {115200, B115200}, {230400, B230400}, {460800, B460800}, {921600, B921600}};
    for (const auto& e : kTable)
        if (e.rate == rate) {
            *speed = e.speed;
            return true;
        }
    return false;
}

void SetDtr(int fd, bool on) {
    // Fails on a pseudo-terminal, which has no modem lines; not an error.
    int bits = TIOCM_DTR;
    ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &bits);
}

void* ReceiveThreadEntry(void* arg) {
    ReceiveLoop(static_cast<TTYINFO*>(arg));
    return nullptr;
}

void DrainWake(PORT_OS* os) {
    char drain[32];
    while (read(os->wake_read, drain, sizeof drain) > 0) {
    }
}

}  // namespace

int InitPortRecord(TTYINFO** record) {
    if (record == nullptr) return -1;
    TTYINFO* tty = new (std::nothrow) TTYINFO();
    if (tty == nullptr) return -1;
    PORT_OS* os = new (std::nothrow) PORT_OS();
    if (os == nullptr) {
        delete tty;
        return -1;
    }
    int wake[2];
    if (pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0) {
        delete os;
        delete tty;
        return -1;
    }
    os->wake_read = wake[0];
    os->wake_write = wake[1];
    SetInitialPortValues(tty);
    tty->os = os;
    MakeDisplayFont(tty);
    *record = tty;
    return 1;
}

int FreePortRecord(TTYINFO* tty) {
    if (tty == nullptr) return 0;
    if (tty->connected.load()) ClosePort(tty);
    if (tty->os != nullptr) {
        CloseFd(&tty->os->wake_read);
        CloseFd(&tty->os->wake_write);
        delete tty->os;
        tty->os = nullptr;
    }
    delete tty;
    return 1;
}

// No fonts on this side; the label font is the Win32 shell's.
int MakeDisplayFont(TTYINFO* tty) {
    if (tty == nullptr) return 0;
    tty->display_font = nullptr;
    return 1;
}

bool OpenPort(TTYINFO* tty) {
    if (tty == nullptr || tty->os == nullptr) return false;
    if (tty->connected.load()) return false;  // never replace an open connection
    PORT_OS* os = tty->os;

    char name[DEVICE_PATH_MAX + 16];
    if (tty->device_path[0] != '\0')
        snprintf(name, sizeof name, "%.*s", DEVICE_PATH_MAX - 1, tty->device_path);
    else
        snprintf(name, sizeof name, "/dev/ttyS%d", static_cast<int>(tty->port_number) - 1);

    int fd = open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    // Exclusive: TIOCEXCL keeps out other opens (not a privileged one), the
    // lock keeps out every program that locks the device as well.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        close(fd);
        return false;
    }
    ioctl(fd, TIOCEXCL);
    os->fd = fd;
    tcflush(fd, TCIOFLUSH);

    if (!ApplyPortSettings(tty)) {
        tty->connected.store(0);
        ioctl(fd, TIOCNXCL);
        CloseFd(&os->fd);
        return false;
    }

    DrainWake(os);
    tty->connected.store(1);
    tty->reader_thread_id.store(NewThreadId());
    if (pthread_create(&os->thread, nullptr, ReceiveThreadEntry, tty) != 0) {
        tty->connected.store(0);
        tty->reader_thread_id.store(0);
        ioctl(fd, TIOCNXCL);
        CloseFd(&os->fd);
        return false;
    }
    os->thread_running = true;
    SetDtr(fd, true);
    return true;
}

bool ApplyPortSettings(TTYINFO* tty) {
    if (tty == nullptr || tty->os == nullptr || tty->os->fd < 0) return false;
    int fd = tty->os->fd;
    struct termios t {};
    if (tcgetattr(fd, &t) != 0) return false;
    cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;

    t.c_cflag &= ~CSIZE;
    switch (tty->byte_size) {
    case 5: t.c_cflag |= CS5; break;
    case 6: t.c_cflag |= CS6; break;
    case 7: t.c_cflag |= CS7; break;
    case 8: t.c_cflag |= CS8; break;
    default: return false;
    }

    // Parity checking stays on whatever the code, as the Win32 side has it.
    t.c_iflag |= INPCK;
    t.c_cflag &= ~(PARENB | PARODD | CMSPAR);
    switch (tty->parity) {
    case 0: break;                                             // none
    case 1: t.c_cflag |= PARENB | PARODD; break;               // odd
    case 2: t.c_cflag |= PARENB; break;                        // even
    case 3: t.c_cflag |= PARENB | CMSPAR | PARODD; break;      // mark
    case 4: t.c_cflag |= PARENB | CMSPAR; break;               // space
    default: return false;
    }

    // Code 1 (one and a half) has no termios form; the UART sends 1.5 stop
    // bits for CSTOPB at 5 data bits and 2 otherwise.
    switch (tty->stop_bits) {
    case 0: t.c_cflag &= ~CSTOPB; break;
    case 1:
    case 2: t.c_cflag |= CSTOPB; break;
    default: return false;
    }

    // DTR/DSR output flow has no termios form; FLOW_DTRDSR leaves DTR raised.
    if (tty->flow_ctrl & FLOW_RTSCTS)
        t.c_cflag |= CRTSCTS;
    else
        t.c_cflag &= ~CRTSCTS;
    t.c_iflag &= ~(IXON | IXOFF | IXANY);
    if (tty->flow_ctrl & FLOW_XONXOFF) t.c_iflag |= IXON | IXOFF;
    t.c_cc[VSTART] = 0x11;
    t.c_cc[VSTOP] = 0x13;

    speed_t speed;
    bool in_table = TableSpeed(tty->baud_rate, &speed);
    if (!in_table) speed = B38400;  // replaced below through the arbitrary-rate call
    cfsetispeed(&t, speed);
    cfsetospeed(&t, speed);
    if (tcsetattr(fd, TCSANOW, &t) != 0) return false;
    if (!in_table && (tty->baud_rate == 0 || !SetArbitraryRate(fd, tty->baud_rate))) return false;
    return true;
}

int ClosePort(TTYINFO* tty) {
    if (tty == nullptr) return 0;
    if (!tty->connected.load()) return 1;
    PORT_OS* os = tty->os;
    tty->connected.store(0);
    char wake = 1;
    ssize_t ignored = write(os->wake_write, &wake, 1);
    (void)ignored;
    if (os->thread_running) {
        // Joining, rather than watching reader_thread_id, returns only after
        // the thread's last access and costs no CPU while it drains.
        pthread_join(os->thread, nullptr);
        os->thread_running = false;
    }
    tty->reader_thread_id.store(0);
    SetDtr(os->fd, false);
    tcflush(os->fd, TCIOFLUSH);
    ioctl(os->fd, TIOCNXCL);
    CloseFd(&os->fd);
    return 1;
}

uint32_t ReceiveLoop(TTYINFO* tty) {
    PORT_OS* os = tty->os;
    const int fd = os->fd;
    uint8_t block[kReadBlock];
    bool hung_up = false;
    while (tty->connected.load()) {
        // A hung-up line (the other end closed) keeps reporting POLLHUP;
        // then only the wake-up is waited for, with a period, instead of
        // spinning on the line.
        struct pollfd fds[2] = {{os->wake_read, POLLIN, 0}, {fd, POLLIN, 0}};
        int count = hung_up ? 1 : 2;
        int n = poll(fds, static_cast<nfds_t>(count), hung_up ? kHangupRetryMs : -1);
        if (n <= 0) {
            hung_up = false;
            continue;
        }
        if (fds[0].revents & POLLIN) DrainWake(os);
        if (count == 2 && fds[1].revents != 0) {
            // Drain what is queued. The test of `connected` keeps a device
            // that never pauses from holding ClosePort for ever; what is
            // left then is purged by the close.
            uint32_t total = 0;
            uint32_t got;
            while (tty->connected.load() && (got = ReadQueuedBytes(tty, block, kReadBlock)) > 0) {
                total += got;
                for (uint32_t i = 0; i < got; ++i) CollectResponseByte(tty, block[i]);
            }
            // Readable with nothing to read is how a hang-up shows.
            if (total == 0) hung_up = true;
        }
    }
    // The thread's last access to the record.
    tty->reader_thread_id.store(0);
    return 1;
}

uint32_t ReadQueuedBytes(TTYINFO* tty, uint8_t* dest, uint32_t max) {
    int queued = 0;
    if (ioctl(tty->os->fd, FIONREAD, &queued) != 0 || queued <= 0) return 0;
    uint32_t n = static_cast<uint32_t>(queued) < max ? static_cast<uint32_t>(queued) : max;
    if (n == 0) return 0;
    ssize_t got = read(tty->os->fd, dest, n);
    return got > 0 ? static_cast<uint32_t>(got) : 0;
}

int TransmitByte(TTYINFO* tty, uint8_t byte) {
    if (tty == nullptr) return 0;
    if (tty->os == nullptr || tty->os->fd < 0) return 1;
    int fd = tty->os->fd;
    for (int attempt = 0; attempt < 2; ++attempt) {
        ssize_t n = write(fd, &byte, 1);
        if (n == 1) return 1;
        if (n < 0 && errno == EINTR) {
            --attempt;
            continue;
        }
        if (n < 0 && errno != EAGAIN) return 1;  // lost
        // The output queue is full (or the line is held by XOFF): wait for
        // room, then try once more. As on the Win32 side, the port's own
        // write time-out (19200 / rate ms a byte, none from 38400 on) ends
        // the wait before the transmitter's 1000 ms. A non-blocking write
        // leaves nothing running behind us when we give up.
        uint32_t per_byte = tty->baud_rate != 0 ? 19200 / tty->baud_rate : 0;
        int limit = per_byte != 0 && per_byte < static_cast<uint32_t>(kWriteGiveUpMs) ? static_cast<int>(per_byte)
                                                                                    : kWriteGiveUpMs;
        struct pollfd p = {fd, POLLOUT, 0};
        if (poll(&p, 1, limit) <= 0) return 1;
    }
    return 1;
}
