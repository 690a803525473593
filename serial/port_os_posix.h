// The POSIX backend's share of the port record.
#pragma once

#include <pthread.h>

struct PORT_OS {
    // The open device; -1 while the record is idle. OpenPort sets it before
    // the receive thread starts and ClosePort resets it after the join, so
    // the thread only ever sees one value.
    int fd = -1;
    // Wake-up of the receive thread's wait (the emptied event mask of the
    // Win32 side): ClosePort writes a byte after clearing `connected`. Both
    // ends live as long as the record; -1 when not made.
    int wake_read = -1;
    int wake_write = -1;
    // The receive thread of the open connection; joined by ClosePort.
    pthread_t thread{};
    bool thread_running = false;
};
