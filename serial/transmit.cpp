// The byte transmitter: a request leaves as a run of one-byte writes, each
// finished or given up by TransmitByte before the next begins.
#include "serial/port.h"

int SendByte(TTYINFO* tty, uint8_t byte) {
    if (tty == nullptr) return 0;
    if (!tty->connected.load()) return 0;
    return TransmitByte(tty, byte) != 0 ? 1 : 0;
}

int SendBytes(TTYINFO* tty, const uint8_t* bytes, int length) {
    for (int i = 0; i < length; ++i) {
        if (SendByte(tty, bytes[i]) == 0) return 0;
    }
    return 1;
}
