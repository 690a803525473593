// The operation table: per operation id, the request builder run by
// ST_START and the response evaluator run by ST_RECV.
#pragma once

#include <cstdint>

#include "protocol/frame_codec.h"

struct TTYINFO;

// Room for the longest request on the line: a write packet with 256 data bytes.
constexpr int SEND_BUFFER_MAX = WRAPPED_FRAME_MAX;

struct OUTGOING {
    uint8_t bytes[SEND_BUFFER_MAX];
    int count;
};

// Leaves the bytes to send in *out, or sets g_seq.seq_state to ST_RESET to
// stop the run. May change cur_cmd, wait_ticks, reset3856, total_fail and
// the port.
typedef void (*RequestBuilder)(TTYINFO* tty, OUTGOING* out);

// Called with seq_state already ST_RESET; may set ST_START and change cur_cmd.
typedef void (*ResponseEvaluator)(TTYINFO* tty, const RESPONSE_COPY* response);

struct OPERATION {
    int32_t id;
    RequestBuilder build;        // null: no request (the default error)
    ResponseEvaluator evaluate;  // null: nothing beyond the intake
};

// The row of `id`, or null when the table holds none.
const OPERATION* FindOperation(int32_t id);
