// The serial backend on the Win32 communications API: overlapped transfers
// on the COM device, a receive thread waiting for EV_RXCHAR, the label font.
#include <windows.h>

#include <cstddef>
#include <cstdio>
#include <new>

#include "resources/resource_ids.h"
#include "serial/port.h"
#include "serial/port_os_win32.h"

static_assert(sizeof(LOG_FONT) == sizeof(LOGFONTA), "LOG_FONT must have LOGFONTA's layout");
static_assert(offsetof(LOG_FONT, lfWeight) == offsetof(LOGFONTA, lfWeight), "LOG_FONT layout");
static_assert(offsetof(LOG_FONT, lfItalic) == offsetof(LOGFONTA, lfItalic), "LOG_FONT layout");
static_assert(offsetof(LOG_FONT, lfPitchAndFamily) == offsetof(LOGFONTA, lfPitchAndFamily), "LOG_FONT layout");
static_assert(offsetof(LOG_FONT, lfFaceName) == offsetof(LOGFONTA, lfFaceName), "LOG_FONT layout");
static_assert(sizeof(LOG_FONT::lfFaceName) == LF_FACESIZE, "LOG_FONT layout");

namespace {

constexpr DWORD kQueueSize = 4096;
constexpr DWORD kReadBlock = 80;
constexpr DWORD kWriteGiveUpMs = 1000;
constexpr DWORD kPurgeAll = PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR;
// How long ClosePort lets the thread run before it empties the mask again.
constexpr DWORD kCloseRewakeMs = 200;
// A wait that fails at once is retried after this pause, not in a spin.
constexpr DWORD kFailedWaitPauseMs = 10;

void CloseHandleOnce(HANDLE* handle, HANDLE invalid) {
    if (*handle != invalid) CloseHandle(*handle);
    *handle = invalid;
}

DWORD WINAPI ReceiveThreadEntry(LPVOID arg) {
    return ReceiveLoop(static_cast<TTYINFO*>(arg));
}

// "COM" from the string table (entry 784), or the built-in text when the
// program has no such entry; `device_path` instead when it is set.
void DeviceName(const TTYINFO* tty, char* name, size_t cap) {
    if (tty->device_path[0] != '\0') {
        snprintf(name, cap, "%.*s", static_cast<int>(cap) - 1, tty->device_path);
        return;
    }
    char prefix[10];
    if (LoadStringA(GetModuleHandleA(nullptr), IDS_COM_PREFIX, prefix, sizeof prefix) <= 0)
        lstrcpynA(prefix, "COM", sizeof prefix);
    // Numbers from 10 on are reached only through the device namespace.
    snprintf(name, cap, "%s%s%d", tty->port_number >= 10 ? "\\\\.\\" : "", prefix,
             static_cast<int>(tty->port_number));
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
    os->read_ov.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (os->read_ov.hEvent == nullptr) {
        delete os;
        delete tty;
        return -1;
    }
    os->write_ov.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (os->write_ov.hEvent == nullptr) {
        CloseHandle(os->read_ov.hEvent);
        delete os;
        delete tty;
        return -1;
    }
    SetInitialPortValues(tty);
    tty->os = os;
    *record = tty;
    MakeDisplayFont(tty);
    return 1;
}

int FreePortRecord(TTYINFO* tty) {
    if (tty == nullptr) return 0;
    if (tty->connected.load()) ClosePort(tty);
    if (tty->os != nullptr) {
        CloseHandleOnce(&tty->os->read_ov.hEvent, nullptr);
        CloseHandleOnce(&tty->os->write_ov.hEvent, nullptr);
        delete tty->os;
        tty->os = nullptr;
    }
    if (tty->display_font != nullptr) DeleteObject(static_cast<HFONT>(tty->display_font));
    tty->display_font = nullptr;
    delete tty;
    return 1;
}

int MakeDisplayFont(TTYINFO* tty) {
    if (tty == nullptr) return 0;
    if (tty->display_font != nullptr) DeleteObject(static_cast<HFONT>(tty->display_font));
    tty->display_font = CreateFontIndirectA(reinterpret_cast<const LOGFONTA*>(&tty->log_font));
    return 1;
}

bool OpenPort(TTYINFO* tty) {
    if (tty == nullptr || tty->os == nullptr) return false;
    if (tty->connected.load()) return false;  // never replace an open connection
    PORT_OS* os = tty->os;
    HCURSOR previous = SetCursor(LoadCursorA(nullptr, IDC_WAIT));

    char name[DEVICE_PATH_MAX + 8];
    DeviceName(tty, name, sizeof name);
    os->port = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr);
    if (os->port == INVALID_HANDLE_VALUE) {
        SetCursor(previous);
        return false;
    }

    SetCommMask(os->port, EV_RXCHAR);
    SetupComm(os->port, kQueueSize, kQueueSize);
    PurgeComm(os->port, kPurgeAll);
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = MAXDWORD;
    timeouts.ReadTotalTimeoutMultiplier = 0;
    timeouts.ReadTotalTimeoutConstant = 1000;
    timeouts.WriteTotalTimeoutMultiplier = tty->baud_rate != 0 ? 19200 / tty->baud_rate : 0;
    timeouts.WriteTotalTimeoutConstant = 0;
    SetCommTimeouts(os->port, &timeouts);

    if (!ApplyPortSettings(tty)) {
        tty->connected.store(0);
        CloseHandleOnce(&os->port, INVALID_HANDLE_VALUE);
        SetCursor(previous);
        return false;
    }

    tty->connected.store(1);
    // Started suspended, so the id is recorded before the thread can run
    // and clear it: a thread that ends at once is never taken for running.
    DWORD thread_id = 0;
    os->thread = CreateThread(nullptr, 0, ReceiveThreadEntry, tty, CREATE_SUSPENDED, &thread_id);
    if (os->thread == nullptr) {
        tty->connected.store(0);
        CloseHandleOnce(&os->port, INVALID_HANDLE_VALUE);
        SetCursor(previous);
        return false;
    }
    tty->reader_thread_id.store(thread_id);
    ResumeThread(os->thread);

    EscapeCommFunction(os->port, SETDTR);
    SetCursor(previous);
    return true;
}

bool ApplyPortSettings(TTYINFO* tty) {
    if (tty == nullptr || tty->os == nullptr || tty->os->port == INVALID_HANDLE_VALUE) return false;
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    GetCommState(tty->os->port, &dcb);
    dcb.BaudRate = tty->baud_rate;
    dcb.ByteSize = tty->byte_size;
    dcb.Parity = tty->parity;
    dcb.StopBits = tty->stop_bits;
    bool dtrdsr = (tty->flow_ctrl & FLOW_DTRDSR) != 0;
    bool rtscts = (tty->flow_ctrl & FLOW_RTSCTS) != 0;
    bool xonxoff = (tty->flow_ctrl & FLOW_XONXOFF) != 0;
    dcb.fOutxDsrFlow = dtrdsr ? 1 : 0;
    dcb.fDtrControl = dtrdsr ? DTR_CONTROL_HANDSHAKE : DTR_CONTROL_ENABLE;
    dcb.fOutxCtsFlow = rtscts ? 1 : 0;
    dcb.fRtsControl = rtscts ? RTS_CONTROL_HANDSHAKE : RTS_CONTROL_ENABLE;
    dcb.fOutX = xonxoff ? 1 : 0;
    dcb.fInX = dcb.fOutX;
    dcb.XonChar = 0x11;
    dcb.XoffChar = 0x13;
    dcb.XonLim = 100;
    dcb.XoffLim = 100;
    dcb.fBinary = 1;
    dcb.fParity = 1;
    return SetCommState(tty->os->port, &dcb) != 0;
}

int ClosePort(TTYINFO* tty) {
    if (tty == nullptr) return 0;
    if (!tty->connected.load()) return 1;
    PORT_OS* os = tty->os;
    tty->connected.store(0);
    SetCommMask(os->port, 0);
    if (os->thread != nullptr) {
        // Waiting on the thread itself returns only after its last access
        // and costs nothing while it drains. The mask is emptied again now
        // and then in case a driver let a wait begin after the first one.
        while (WaitForSingleObject(os->thread, kCloseRewakeMs) == WAIT_TIMEOUT) SetCommMask(os->port, 0);
        CloseHandleOnce(&os->thread, nullptr);
    }
    tty->reader_thread_id.store(0);
    EscapeCommFunction(os->port, CLRDTR);
    PurgeComm(os->port, kPurgeAll);
    CloseHandleOnce(&os->port, INVALID_HANDLE_VALUE);
    return 1;
}

uint32_t ReceiveLoop(TTYINFO* tty) {
    PORT_OS* os = tty->os;
    const HANDLE port = os->port;
    uint32_t exit_code = 1;
    // The thread's own event, for its overlapped waits.
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (event == nullptr) {
        MessageBoxA(nullptr, "Failed to create event for thread!", "TTY Error!", MB_ICONEXCLAMATION);
        exit_code = 0;
    } else if (!SetCommMask(port, EV_RXCHAR)) {
        exit_code = 0;
    } else {
        uint8_t block[kReadBlock];
        while (tty->connected.load()) {
            // The port is opened for overlapped transfers, so the wait needs
            // an OVERLAPPED record: without one it returns at once.
            OVERLAPPED ov{};
            ov.hEvent = event;
            DWORD mask = 0;
            if (!WaitCommEvent(port, &mask, &ov)) {
                if (GetLastError() == ERROR_IO_PENDING) {
                    DWORD ignored = 0;
                    if (!GetOverlappedResult(port, &ov, &ignored, TRUE)) mask = 0;
                } else {
                    mask = 0;
                    WaitForSingleObject(event, kFailedWaitPauseMs);
                }
            }
            // Bytes already queued are taken as well: a character that came
            // between the last drain and the start of this wait may not raise
            // an event of its own with every driver.
            COMSTAT stat{};
            DWORD errors = 0;
            bool queued = ClearCommError(port, &errors, &stat) && stat.cbInQue > 0;
            if (!(mask & EV_RXCHAR) && !queued) continue;
            // The test of `connected` keeps a device that never pauses from
            // holding ClosePort for ever; what is left is purged by the close.
            uint32_t got;
            while (tty->connected.load() && (got = ReadQueuedBytes(tty, block, kReadBlock)) > 0)
                for (uint32_t i = 0; i < got; ++i) CollectResponseByte(tty, block[i]);
        }
    }
    if (event != nullptr) CloseHandle(event);
    // The thread's last access to the record; the handle is ClosePort's.
    tty->reader_thread_id.store(0);
    return exit_code;
}

uint32_t ReadQueuedBytes(TTYINFO* tty, uint8_t* dest, uint32_t max) {
    PORT_OS* os = tty->os;
    COMSTAT stat{};
    DWORD errors = 0;
    ClearCommError(os->port, &errors, &stat);
    DWORD n = stat.cbInQue < max ? stat.cbInQue : max;
    if (n == 0) return 0;
    DWORD got = 0;
    if (ReadFile(os->port, dest, n, &got, &os->read_ov)) return got;
    if (GetLastError() != ERROR_IO_PENDING) {
        ClearCommError(os->port, &errors, &stat);
        return 0;
    }
    for (;;) {
        if (GetOverlappedResult(os->port, &os->read_ov, &got, TRUE)) return got;
        if (GetLastError() != ERROR_IO_INCOMPLETE) break;
    }
    ClearCommError(os->port, &errors, &stat);
    return got;
}

int TransmitByte(TTYINFO* tty, uint8_t byte) {
    if (tty == nullptr) return 0;
    PORT_OS* os = tty->os;
    if (os == nullptr || os->port == INVALID_HANDLE_VALUE) return 1;
    DWORD written = 0;
    if (WriteFile(os->port, &byte, 1, &written, &os->write_ov)) return 1;
    if (GetLastError() != ERROR_IO_PENDING) return 1;  // lost
    if (WaitForSingleObject(os->write_ov.hEvent, kWriteGiveUpMs) == WAIT_OBJECT_0) {
        GetOverlappedResult(os->port, &os->write_ov, &written, FALSE);
        return 1;
    }
    // Given up: the transfer must be over before write_ov (and `byte`) are
    // used again, so cancel it and wait for its end.
    CancelIoEx(os->port, &os->write_ov);
    GetOverlappedResult(os->port, &os->write_ov, &written, TRUE);
    return 1;
}
