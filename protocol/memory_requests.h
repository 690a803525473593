// The memory requests (flash read in pieces, EEPROM read and write) and the
// accept rules of their parameter dialogs.
#pragma once

#include <cstdint>

#include "protocol/frame_codec.h"
#include "sequencer/operations.h"

struct TTYINFO;

constexpr int DIALOG_RESULT_MAX = 18;

// Result text of the last parameter dialog; empty means cancelled or rejected.
extern char DialogResult[DIALOG_RESULT_MAX];

// What the dialogs' edit boxes hold when they open.
constexpr const char* READ_DATA_DEFAULT_ADDR = "00002000";  // IDC_FLASH_ADDR
constexpr const char* READ_DATA_DEFAULT_COUNT = "0004";     // IDC_READ_COUNT
constexpr const char* READ_DATA_DEFAULT_RFU = "RFU";        // IDC_RFU
constexpr const char* READ_E2_DEFAULT_ADDR = "3D";          // IDC_E2_ADDR
constexpr const char* READ_E2_DEFAULT_LENGTH = "01";        // IDC_E2_VALUE
constexpr const char* WRITE_DATA_DEFAULT_ADDR = "3D";       // IDC_WRITE_ADDR
constexpr const char* WRITE_DATA_DEFAULT_DATA = "55";       // IDC_E2_VALUE

// The dialogs read each edit box into a buffer of this size, so at most
// one character less is taken from it.
constexpr int DIALOG_FIELD_MAX = 18;

// Accept rules of the three dialogs' OK: each leaves the parameter digits in
// DialogResult, or empties it when the input is not accepted.
void AcceptReadData(const char* flash_addr, const char* read_count);  // 8 + 4 characters
void AcceptReadE2(const char* e2_addr, const char* length);            // 2 + 2
void AcceptWriteData(const char* write_addr, const char* data);        // 2 + 2..14, even
void CancelParamDialog();

// Flash read in pieces of at most 32 bytes from read_addr (wrapping at 2^32)
// while read_remain lasts; the next piece follows while answers are longer
// than 28 bytes.
constexpr int32_t FLASH_PIECE_MAX = 32;
void BuildReadFlashRequest(TTYINFO* tty, OUTGOING* out);
void EvaluateReadFlash(TTYINFO* tty, const RESPONSE_COPY* response);

// EEPROM read and write: DialogResult as typed after the frame head.
void BuildReadEepromRequest(TTYINFO* tty, OUTGOING* out);
void EvaluateReadEeprom(TTYINFO* tty, const RESPONSE_COPY* response);
void BuildWriteEepromRequest(TTYINFO* tty, OUTGOING* out);
