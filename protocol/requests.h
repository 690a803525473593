// The request catalogue: the command code of every operation id, the
// evaluation of the diagnostic answers, and the two answer forms of a
// firmware write packet with the loader's error codes.
#pragma once

#include <cstdint>

#include "protocol/frame_codec.h"
#include "sequencer/operations.h"

struct TTYINFO;

// Two-character command code of an operation id, or null for an id that
// sends no framed request of its own.
const char* RequestCode(int32_t id);

// Builder of every request without payload: the code of cur_cmd, sequence
// value expect_seq. Stops the run for an id the catalogue does not hold.
void BuildCatalogueRequest(TTYINFO* tty, OUTGOING* out);

// Evaluators (seq_state is already ST_RESET; all of them leave it there).
void EvaluateBlGetCrc(TTYINFO* tty, const RESPONSE_COPY* response);
void EvaluateBlAttributes(TTYINFO* tty, const RESPONSE_COPY* response);
void EvaluateAppReset(TTYINFO* tty, const RESPONSE_COPY* response);

// Outcome of the answer to a write packet.
constexpr int WRITE_FAILED = 0;
constexpr int WRITE_ACKNOWLEDGED = 1;  // Type 0x83 carrying expect_seq
constexpr int WRITE_SEQ_MISMATCH = 2;  // Type 0x85, code 0x26: accepted as well

constexpr int WRITE_ACK_TYPE = 0x83;
constexpr int WRITE_ERROR_TYPE = 0x85;
constexpr int ERROR_SEQ_MISMATCH = 0x26;

// Reads Type and the acknowledged number or error code; an error report's
// message goes to EDIT_DEBUG. Answers shorter than 19 bytes are failed
// unread.
int EvaluateWritePacket(const RESPONSE_COPY* response);
inline bool WriteAccepted(int outcome) { return outcome != WRITE_FAILED; }

// Message of a loader error code, or null for a code without one.
const char* LoaderErrorMessage(int32_t code);

// Appends label, the received characters of the field at offset..offset+width-1
// (those not received are left out) and the line's end. Label and end are
// short constant texts; width is at most FIELD_SHOWN_MAX.
constexpr int32_t FIELD_SHOWN_MAX = 16;
void AppendReceivedField(int pane, const char* label, const RESPONSE_COPY* response,
                         int32_t offset, int32_t width, const char* end = "\r\n");
