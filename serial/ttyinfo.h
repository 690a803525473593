// The per-window port record: line settings, the open connection, the
// response hand-over between the receive thread and the window thread, the
// sequencer's tick countdown and the label font.
#pragma once

#include <atomic>
#include <cstdint>

constexpr int RESPONSE_MAX = 150;
constexpr int DEVICE_PATH_MAX = 256;

constexpr uint8_t FLOW_DTRDSR = 0x01;
constexpr uint8_t FLOW_RTSCTS = 0x02;
constexpr uint8_t FLOW_XONXOFF = 0x04;

// Same layout as the platform's LOGFONTA, so the Win32 side can hand it to
// the font chooser and CreateFontIndirectA in place.
struct LOG_FONT {
    int32_t lfHeight;
    int32_t lfWidth;
    int32_t lfEscapement;
    int32_t lfOrientation;
    int32_t lfWeight;
    uint8_t lfItalic;
    uint8_t lfUnderline;
    uint8_t lfStrikeOut;
    uint8_t lfCharSet;
    uint8_t lfOutPrecision;
    uint8_t lfClipPrecision;
    uint8_t lfQuality;
    uint8_t lfPitchAndFamily;
    char lfFaceName[32];
};

// Backend-owned connection state: the port handle, the completion records
// and their events, the receive thread and its wake-up. Defined by the
// serial backend in use (Win32 or POSIX); opaque to the portable core.
struct PORT_OS;

struct TTYINFO {
    PORT_OS* os;  // created by InitPortRecord, released by FreePortRecord

    uint8_t port_number;
    // Window thread writes (OpenPort sets it before the receive thread
    // starts, ClosePort clears it before waking the thread); the receive
    // thread reads it before every wait.
    std::atomic<int32_t> connected;
    int32_t local_echo;
    int32_t new_line;
    int32_t auto_wrap;
    int32_t use_cn_receive;
    int32_t display_errors;
    uint8_t byte_size;
    uint8_t flow_ctrl;
    uint8_t parity;
    uint8_t stop_bits;
    uint32_t baud_rate;

    // Response hand-over. The receive thread stores a byte at
    // response[response_count] and only then publishes the incremented count
    // (release); it sets response_complete after that. The window thread
    // resets count and expected, then clears complete last, before each
    // request; it reads complete every tick and count (acquire) then the
    // first count bytes when it evaluates.
    uint8_t response[RESPONSE_MAX];
    std::atomic<int32_t> response_complete;
    std::atomic<int32_t> response_expected;
    std::atomic<int32_t> response_count;

    int32_t wait_ticks;  // window thread only: the sequencer's countdown

    void* display_font;  // platform font handle (HFONT); null where there is none
    LOG_FONT log_font;
    uint32_t text_color;

    // Set by OpenPort once the receive thread runs; cleared when the thread
    // has ended. The window thread is the only writer after the thread is
    // joined; the receive thread clears it as its last access.
    std::atomic<uint32_t> reader_thread_id;

    // Device to open instead of the one named after port_number (POSIX
    // backend; tests point it at a pseudo-terminal). Empty: use the number.
    char device_path[DEVICE_PATH_MAX];
};

// Gives a zero-filled record the initial values of a fresh connection
// record: port 1, 9600 bit/s, 8 data bits, no parity, one stop bit, no flow
// control, the FixedSys label font of height 12.
void SetInitialPortValues(TTYINFO* tty);

// The collection rule, applied by the receive thread to every byte it reads.
void CollectResponseByte(TTYINFO* tty, uint8_t byte);

// What the window thread believes of the completion flag: set, and the
// count has reached the expected length. A re-arm is three separate stores,
// so for an instant the flag can be raised by a byte of the old response;
// the count tells such a flag apart.
bool ResponseComplete(const TTYINFO* tty);

// Arms the hand-over before a request: count 0, expected `expected`, and
// only then complete cleared.
void ArmResponse(TTYINFO* tty, int32_t expected);
