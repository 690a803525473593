#include "serial/ttyinfo.h"

#include <cstring>

namespace {

// OEM_CHARSET, and FIXED_PITCH | FF_MODERN, as the platform numbers them.
constexpr uint8_t kOemCharset = 255;
constexpr uint8_t kFixedModern = 0x31;

}  // namespace

void SetInitialPortValues(TTYINFO* tty) {
    if (tty == nullptr) return;
    // `os` and `device_path` belong to the backend and the caller; leave them.
    tty->port_number = 1;
    tty->connected.store(0);
    tty->local_echo = 0;
    tty->new_line = 0;
    tty->auto_wrap = 0;
    tty->use_cn_receive = 1;
    tty->display_errors = 1;
    tty->byte_size = 8;
    tty->flow_ctrl = 0;
    tty->parity = 0;
    tty->stop_bits = 0;
    tty->baud_rate = 9600;
    std::memset(tty->response, 0, sizeof tty->response);
    tty->response_complete.store(0);
    tty->response_expected.store(0);
    tty->response_count.store(0);
    tty->wait_ticks = 0;
    tty->display_font = nullptr;

    LOG_FONT& f = tty->log_font;
    std::memset(&f, 0, sizeof f);
    f.lfHeight = 12;
    f.lfCharSet = kOemCharset;
    f.lfPitchAndFamily = kFixedModern;
    std::strcpy(f.lfFaceName, "FixedSys");

    tty->text_color = 0;
    tty->reader_thread_id.store(0);
}

namespace {

// Raises the completion flag for a response of `count` bytes. A re-arm
// that slipped in meanwhile must not start the next response out as
// complete (every byte of it would then be dropped): the flag is taken back
// when the count moved or the expected length is no longer reached.
void MarkComplete(TTYINFO* tty, int32_t count) {
    tty->response_complete.store(1, std::memory_order_release);
    if (tty->response_count.load(std::memory_order_acquire) != count ||
        count < tty->response_expected.load(std::memory_order_acquire))
        tty->response_complete.store(0, std::memory_order_release);
}

}  // namespace

// Receive thread only.
void CollectResponseByte(TTYINFO* tty, uint8_t byte) {
    if (tty == nullptr) return;
    if (tty->response_complete.load(std::memory_order_acquire) != 0) return;
    // Acquire pairs with ArmResponse's release: the window thread's reads of
    // the previous response are over before a byte lands at index 0 again.
    int32_t n = tty->response_count.load(std::memory_order_acquire);
    if (n < 0) return;
    if (n >= RESPONSE_MAX) {
        // A full buffer drops the byte. If a re-arm lowered the expected
        // length while the buffer was filling, the response is complete
        // all the same; without this it would never be.
        if (n >= tty->response_expected.load(std::memory_order_acquire)) MarkComplete(tty, n);
        return;
    }

    tty->response[n] = byte;
    // Publish the byte with the incremented count. When the window thread
    // has re-armed in between, the count it set wins and this byte, which
    // belongs to the old response, is dropped.
    if (!tty->response_count.compare_exchange_strong(n, n + 1, std::memory_order_release,
                                                     std::memory_order_relaxed))
        return;

    if (n + 1 >= tty->response_expected.load(std::memory_order_acquire)) MarkComplete(tty, n + 1);
}

// Window thread only.
bool ResponseComplete(const TTYINFO* tty) {
    if (tty == nullptr || tty->response_complete.load(std::memory_order_acquire) == 0) return false;
    return tty->response_count.load(std::memory_order_acquire) >=
           tty->response_expected.load(std::memory_order_acquire);
}

// Window thread only.
void ArmResponse(TTYINFO* tty, int32_t expected) {
    if (tty == nullptr) return;
    tty->response_count.store(0, std::memory_order_release);
    tty->response_expected.store(expected, std::memory_order_release);
    // Last: while complete is still set the receive thread drops bytes, so
    // nothing of the old response can be counted into the new one.
    tty->response_complete.store(0, std::memory_order_release);
}
