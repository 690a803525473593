#include "store/store.h"

void TraceLogAppend(const char* text, int32_t count) {
    if (text == nullptr || count <= 0) return;
    // Opening for writing never creates the file: without it nothing is traced.
    if (FileOpenWrite(TraceFilePath()) != 0) return;
    FileSeekEnd();
    FileWrite(text, count);
    FileClose();
}

namespace {

// Read index runs 0..100 and wraps only once it has passed 100, so the
// ring has one slot more than it may hold bytes.
struct TraceQueue {
    uint8_t slots[TRACE_QUEUE_MAX + 1];
    int read;
    int write;
    int count;
};

TraceQueue g_queue;

}  // namespace

void TraceQueueReset() {
    g_queue.read = 0;
    g_queue.write = 0;
    g_queue.count = 0;
}

int TraceCount() { return g_queue.count; }

uint8_t TracePop() {
    if (g_queue.count == 0) return 0;
    if (g_queue.read > TRACE_QUEUE_MAX) g_queue.read = 0;
    uint8_t byte = g_queue.slots[g_queue.read];
    ++g_queue.read;
    --g_queue.count;
    return byte;
}
