// The frame codec: hex text, CRC-16, request and response layouts and the
// response intake that every answer passes first.
#pragma once

#include <cstdint>

#include "serial/ttyinfo.h"

// The longest request text (a write packet with 256 data bytes) is 533
// characters; the wrapped frame adds LF and CR.
constexpr int FRAME_TEXT_MAX = 534;
constexpr int WRAPPED_FRAME_MAX = 535;
constexpr int ECHO_TEXT_MAX = 190;
constexpr int ECHO_MAX_BYTES = 63;
constexpr int FRAME_HEAD_LEN = 13;
constexpr int DESTINATION_LEN = 7;

// Text of the request most recently built, without LF and CR.
extern char FrameText[FRAME_TEXT_MAX];

uint16_t CalcCrc16(const uint8_t* bytes, int32_t count);
void BuildFrameHead(char* out, const char* destination, const char* code);
// `request` needs room for 6 more characters; the result lands in frame_text.
void FinishFrame(char* frame_text, char* request, int32_t sequence);
int32_t AppendCrcHex(char* text, int32_t pos, uint16_t crc);
int32_t WrapFrame(uint8_t* out, const char* text, int32_t length);
void ByteToHex(char* out, int32_t value);
int32_t BytesToHex(char* out, const uint8_t* bytes, int32_t count, bool compact);
int32_t BytesToPrintable(char* out, const uint8_t* bytes, int32_t count, bool compact);
bool IsNonPrintable(uint8_t byte);
int32_t HexToInt(const char* text, int32_t digits);
int32_t HexDigitValue(char c);
uint16_t Hex4ToWord(const char* text);
int32_t CheckResponseCrc(const uint8_t* bytes, int32_t count);

// Decimal value of a text as atoi reads it (blanks, optional sign, digits
// up to the first other character; none gives 0), saturating at the int32
// limits instead of overflowing.
int32_t ParseDecimal(const char* text);

// What the intake hands to an evaluator. Bytes past `count` are zero, so a
// field read beyond what was received never sees stale data.
struct RESPONSE_COPY {
    uint8_t bytes[RESPONSE_MAX + 1];
    int32_t count;     // bytes collected
    int32_t eval_len;  // count, cut to 63
};

// Length line, CRC report and printable echo into the Recv and Debug panes,
// and the copy of what the receive thread collected.
void IntakeResponse(const TTYINFO* tty, RESPONSE_COPY* copy);

// True when `length` bytes starting at `offset` were received.
bool ResponseHas(const RESPONSE_COPY* copy, int32_t offset, int32_t length);

// A framed request for the destination in EDIT_DEST: head with `code`,
// `payload` (may be empty), sequence value, CRC; FrameText updated; the
// wrapped bytes in `out` (WRAPPED_FRAME_MAX). Returns the byte count.
int32_t BuildFramedRequest(const char* code, const char* payload, int32_t sequence, uint8_t* out);
