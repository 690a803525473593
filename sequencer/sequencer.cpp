// The timer-driven state machine. Every wait is a number of ticks in
// wait_ticks; a response that reaches the expected length cuts it short.
#include "sequencer/sequencer.h"

#include <cstring>

#include "app/host.h"
#include "protocol/frame_codec.h"
#include "resources/resource_ids.h"
#include "sequencer/operations.h"
#include "sequencer/seqinfo.h"
#include "serial/port.h"
#include "store/store.h"

namespace {

constexpr int32_t kStartTicks = 4;
constexpr int32_t kExpectedResponse = 100;
// Pauses of the unanswered-packet rule before the upgrade gives up.
constexpr int32_t kMaxPauses = 10;
// ST_PAUSE ticks before the resend.
constexpr int32_t kPauseTicks = 10;

void Trace(const char* text) {
    if (g_seq.log_to_file) TraceLogAppend(text, static_cast<int32_t>(std::strlen(text)));
}

void RunStart(TTYINFO* tty) {
    Trace("ST_START\n");
    PaneSetText(EDIT_RECV, "");
    PaneSetText(EDIT_DEBUG, "");
    PaneSetText(EDIT_PROGRESS, "");
    tty->wait_ticks = kStartTicks;
    ArmResponse(tty, kExpectedResponse);

    OUTGOING out;
    out.count = 0;
    const OPERATION* op = FindOperation(g_seq.cur_cmd);
    if (op == nullptr || op->build == nullptr) {
        PaneAppend(EDIT_RECV, "Ln 1002: WM_TIMER: ST_Start: default (error)\r\n");
        g_seq.seq_state = ST_RESET;
    } else {
        op->build(tty, &out);
    }
    if (g_seq.seq_state == ST_RESET) {
        PaneAppend(EDIT_RECV, "Ln 1007: WM_TIMER: ST_Start: default (error)\r\n");
        return;
    }
    // A builder never leaves more than the buffer holds; the bound keeps a
    // faulty count from sending memory past it.
    int count = out.count;
    if (count < 0) count = 0;
    if (count > SEND_BUFFER_MAX) count = SEND_BUFFER_MAX;
    SendBytes(tty, out.bytes, count);
    g_seq.seq_state = ST_RECV;
}

// A write packet of the upgrade got no answer: resend at once while the
// consecutive failures stay below MAXFAIL, then pause before each resend,
// and give up after the last allowed pause.
void UnansweredWritePacket() {
    PaneAppend(EDIT_DEBUG, "Ln 1028: WM_TIMER: ST_RECV: ID_FWUG_INPROCESS ERROR\r\n");
    ++g_seq.fail_count;
    if (g_seq.fail_count < MAXFAIL) {
        Trace("Ln 1033: ST_START\n");
        g_seq.seq_state = ST_START;
        return;
    }
    ++g_seq.total_fail;
    if (g_seq.total_fail > kMaxPauses) {
        Trace("Ln 1045: ST_RESET\n");
        return;
    }
    Trace("Ln 1054: ST_WAIT\n");
    g_seq.seq_state = ST_WAIT;
}

void RunRecv(TTYINFO* tty) {
    Trace("ST_RECV\n");
    g_seq.seq_state = ST_RESET;
    if (tty->response_count.load(std::memory_order_acquire) == 0) {
        if (g_seq.cur_cmd == ID_FWUG_INPROCESS)
            UnansweredWritePacket();
        else
            PaneAppend(EDIT_DEBUG, "Ln 1065: WM_TIMER ST_RECV: No Response ERROR\r\n");
        return;
    }
    RESPONSE_COPY copy;
    IntakeResponse(tty, &copy);
    const OPERATION* op = FindOperation(g_seq.cur_cmd);
    if (op != nullptr && op->evaluate != nullptr) op->evaluate(tty, &copy);
}

void RunStop(TTYINFO* tty) {
    g_seq.seq_state = ST_RESET;
    PaneAppend(EDIT_RECV, "Ln 1116: ST_RESET\r\n");
    HostStopTimer();
    ClosePort(tty);
}

}  // namespace

void SequencerTick(int timer_id) {
    TTYINFO* tty = GETNPTTYINFO();
    if (tty == nullptr) {
        g_seq.seq_state = ST_RESET;
        return;
    }
    if (timer_id != TIMER_SEQ) return;
    if (ResponseComplete(tty)) tty->wait_ticks = 0;
    if (tty->wait_ticks > 0) {
        --tty->wait_ticks;
        return;
    }
    switch (g_seq.seq_state) {
        case ST_START:
            RunStart(tty);
            break;
        case ST_RECV:
            RunRecv(tty);
            break;
        case ST_WAIT:
            g_seq.wait_count = 0;
            g_seq.seq_state = ST_PAUSE;
            break;
        case ST_PAUSE:
            ++g_seq.wait_count;
            if (g_seq.wait_count > kPauseTicks) g_seq.seq_state = ST_START;
            break;
        default:
            RunStop(tty);
            break;
    }
}

void StartOperation(int notify_code) {
    if (notify_code != 0) {
        PanePrependLine(EDIT_DEBUG, "WM_COMMAND: Error, BTN_SEND - not BN_CLICKED");
        return;
    }
    TTYINFO* tty = GETNPTTYINFO();
    if (tty == nullptr) {
        PanePrependLine(EDIT_DEBUG, "WM_COMMAND: Error, GETNPTTYINFO");
        return;
    }
    PaneSetText(EDIT_RECV, " ");
    // A run in progress (or a port opened by hand) goes on with the cur_cmd
    // the starter has just set.
    if (tty->connected.load()) return;
    if (!OpenPort(tty)) {
        HostMessageBox("Connection failed.");
        return;
    }
    tty->wait_ticks = 0;
    g_seq.seq_state = ST_START;
    HostStartTimer();
}
