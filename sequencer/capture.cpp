#include "sequencer/capture.h"

#include <cstring>

#include "app/host.h"
#include "protocol/requests.h"
#include "resources/resource_ids.h"
#include "sequencer/seqinfo.h"
#include "serial/port.h"

const uint8_t RAW_RESET_BYTES[RAW_RESET_LEN] = {0x01, 0x08, 0x00, 0x10, 0xC0, 0xE5, 0x3C, 0xC3};

namespace {

void BuildPlain(int32_t id, OUTGOING* out) {
    out->count = BuildFramedRequest(RequestCode(id), "", g_seq.expect_seq, out->bytes);
}

}  // namespace

void BuildCapture(TTYINFO* tty, OUTGOING* out) {
    if (g_seq.reset3856) {
        // After a raw reset the loader is captured at 57600 bit/s. The
        // response fields were armed before the switch, so the new receive
        // thread fills them from the start.
        g_seq.reset3856 = 0;
        if (tty->connected) ClosePort(tty);
        tty->baud_rate = CAPTURE_AFTER_RESET_BAUD;
        if (!tty->connected && !OpenPort(tty)) PaneAppend(EDIT_RECV, "\r\nLn 986: Failed to Open Connection");
    }
    PanePrependLine(EDIT_DEBUG, "Ln 992: WM_TIMER: ST_Start: BTN_CAP: ");
    BuildPlain(BTN_CAP, out);
}

void EvaluateCapture(TTYINFO*, const RESPONSE_COPY*) {
    g_seq.seq_state = ST_RESET;
    PaneAppend(EDIT_RECV, "Ln 1403: Captured\r\n");
    PaneAppend(EDIT_DEBUG, "Ln 1404: Captured\r\n");
}

void BuildResetRequest(TTYINFO* tty, OUTGOING* out) {
    BuildPlain(BTN_RESETCMD, out);
    g_seq.reset3856 = 0;
    g_seq.cur_cmd = ID_RESET_RSVP;
    tty->wait_ticks = RESET_REQUEST_WAIT_TICKS;
    g_seq.total_fail = 0;
}

void EvaluateResetRsvp(TTYINFO*, const RESPONSE_COPY*) {
    g_seq.seq_state = ST_START;
    g_seq.cur_cmd = BTN_CAP;
    PaneAppend(EDIT_RECV, "Ln 1408: Reset Rsvp\r\n");
    PaneAppend(EDIT_DEBUG, "Ln 1409: Reset Rsvp\r\n");
}

void BuildRawReset(TTYINFO* tty, OUTGOING* out) {
    std::memcpy(out->bytes, RAW_RESET_BYTES, RAW_RESET_LEN);
    out->count = RAW_RESET_LEN;
    g_seq.cur_cmd = BTN_CAP;
    if (g_seq.reset3856) tty->wait_ticks = RAW_RESET_WAIT_TICKS;
}

void BuildGo(TTYINFO*, OUTGOING* out) { BuildPlain(BTN_GO, out); }

void EvaluateGo(TTYINFO*, const RESPONSE_COPY*) {
    PaneAppend(EDIT_DEBUG, "ST_RECV, after cmd G, All Done\r\n");
}
