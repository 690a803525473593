// Capture of the boot loader, the two ways of resetting the application
// into it, and the Go request that starts the new firmware.
#pragma once

#include <cstdint>

#include "protocol/frame_codec.h"
#include "sequencer/operations.h"

struct TTYINFO;

// The application's raw reset, sent unframed at 38400 bit/s.
constexpr int RAW_RESET_LEN = 8;
extern const uint8_t RAW_RESET_BYTES[RAW_RESET_LEN];

constexpr uint32_t RAW_RESET_BAUD = 38400;
constexpr uint32_t CAPTURE_AFTER_RESET_BAUD = 57600;
constexpr int32_t RESET_REQUEST_WAIT_TICKS = 200;
constexpr int32_t RAW_RESET_WAIT_TICKS = 2;

// BTN_CAP: the capture request, after the switch to 57600 bit/s that a
// raw reset asked for.
void BuildCapture(TTYINFO* tty, OUTGOING* out);
void EvaluateCapture(TTYINFO* tty, const RESPONSE_COPY* response);

// BTN_RESETCMD: the reset request; its answer is evaluated as ID_RESET_RSVP,
// which hands over to the capture.
void BuildResetRequest(TTYINFO* tty, OUTGOING* out);
void EvaluateResetRsvp(TTYINFO* tty, const RESPONSE_COPY* response);

// BTN_RESET3856: the raw reset bytes; answered like a capture.
void BuildRawReset(TTYINFO* tty, OUTGOING* out);

// BTN_GO.
void BuildGo(TTYINFO* tty, OUTGOING* out);
void EvaluateGo(TTYINFO* tty, const RESPONSE_COPY* response);
