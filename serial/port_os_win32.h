// The Win32 backend's share of the port record.
#pragma once

#include <windows.h>

struct PORT_OS {
    // The open COM port; INVALID_HANDLE_VALUE while the record is idle.
    // OpenPort sets it before the receive thread starts and ClosePort resets
    // it after the thread has ended, so the thread sees one value only.
    HANDLE port = INVALID_HANDLE_VALUE;
    // Completion records, each with a manual-reset event made by
    // InitPortRecord for the record's life (null when not made). read_ov is
    // the receive thread's alone, write_ov the window thread's alone.
    OVERLAPPED read_ov{};
    OVERLAPPED write_ov{};
    // The receive thread of the open connection; null when none. ClosePort
    // waits on it and closes it.
    HANDLE thread = nullptr;
};
