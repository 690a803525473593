#include "protocol/frame_codec.h"

#include <cstdio>
#include <cstring>

#include "app/host.h"
#include "resources/resource_ids.h"

char FrameText[FRAME_TEXT_MAX];

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";
constexpr char kNoDestination[] = "0000000";
constexpr uint16_t kCrcGenerator = 0x1020;

// Sequence field and CRC behind the payload.
constexpr int32_t kFrameTailLen = 6;
constexpr int32_t kPayloadMax = FRAME_TEXT_MAX - 1 - FRAME_HEAD_LEN - kFrameTailLen;

// A response needs at least LF, the four CRC digits and CR before its CRC
// field can be located inside the bytes received.
constexpr int32_t kCrcFrameMin = 6;
constexpr int32_t kIntakeCrcMin = 21;

}  // namespace

uint16_t CalcCrc16(const uint8_t* bytes, int32_t count) {
    uint16_t crc = 0;
    if (bytes == nullptr) return 0;
    for (int32_t i = 0; i < count; ++i) {
        crc = static_cast<uint16_t>(crc ^ (bytes[i] << 8));
        for (int bit = 0; bit < 8; ++bit) {
            if (crc & 0x8000)
                crc = static_cast<uint16_t>((crc << 1) ^ kCrcGenerator);
            else
                crc = static_cast<uint16_t>(crc << 1);
        }
    }
    return crc;
}

void BuildFrameHead(char* out, const char* destination, const char* code) {
    const char* dest = kNoDestination;
    if (destination != nullptr && std::strlen(destination) == DESTINATION_LEN) dest = destination;
    std::memcpy(out, dest, DESTINATION_LEN);
    int32_t pos = DESTINATION_LEN;
    out[pos++] = '0';
    out[pos++] = '2';
    // The command code is always two characters; a short one must not pull
    // the terminator into the middle of the head.
    for (int i = 0; i < 2; ++i) out[pos++] = (code != nullptr && code[0] != '\0') ? *code++ : '0';
    out[pos++] = '0';
    out[pos++] = '1';
    out[pos] = '\0';
}

void FinishFrame(char* frame_text, char* request, int32_t sequence) {
    int32_t len = static_cast<int32_t>(std::strlen(request));
    ByteToHex(request + len, sequence);
    len += 2;
    uint16_t crc = CalcCrc16(reinterpret_cast<const uint8_t*>(request), len);
    len = AppendCrcHex(request, len, crc);
    if (len > FRAME_TEXT_MAX - 1) len = FRAME_TEXT_MAX - 1;
    std::memcpy(frame_text, request, static_cast<size_t>(len));
    frame_text[len] = '\0';
}

int32_t AppendCrcHex(char* text, int32_t pos, uint16_t crc) {
    ByteToHex(text + pos, crc >> 8);
    ByteToHex(text + pos + 2, crc & 0xFF);
    return pos + 4;
}

int32_t WrapFrame(uint8_t* out, const char* text, int32_t length) {
    if (length < 0) length = 0;
    out[0] = 0x0A;
    if (length > 0) std::memcpy(out + 1, text, static_cast<size_t>(length));
    out[length + 1] = 0x0D;
    return length + 2;
}

void ByteToHex(char* out, int32_t value) {
    out[0] = kHexDigits[(value >> 4) & 0x0F];
    out[1] = kHexDigits[value & 0x0F];
    out[2] = '\0';
}

int32_t BytesToHex(char* out, const uint8_t* bytes, int32_t count, bool compact) {
    int32_t pos = 0;
    for (int32_t i = 0; i < count; ++i) {
        ByteToHex(out + pos, bytes[i]);
        pos += 2;
        if (!compact) out[pos++] = ' ';
    }
    out[pos] = '\0';
    return pos;
}

int32_t BytesToPrintable(char* out, const uint8_t* bytes, int32_t count, bool compact) {
    int32_t pos = 0;
    for (int32_t i = 0; i < count; ++i) {
        if (IsNonPrintable(bytes[i])) {
            ByteToHex(out + pos, bytes[i]);
            pos += 2;
        } else {
            out[pos++] = static_cast<char>(bytes[i]);
        }
        if (!compact) out[pos++] = ' ';
    }
    out[pos] = '\0';
    return pos;
}

bool IsNonPrintable(uint8_t byte) { return byte <= 0x20 || byte >= 0x7F; }

int32_t HexToInt(const char* text, int32_t digits) {
    // Unsigned arithmetic: more than eight digits wrap instead of overflowing.
    uint32_t value = 0;
    for (int32_t i = 0; i < digits; ++i) value = value * 16u + static_cast<uint32_t>(HexDigitValue(text[i]));
    return static_cast<int32_t>(value);
}

int32_t HexDigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return 0;
}

uint16_t Hex4ToWord(const char* text) { return static_cast<uint16_t>(HexToInt(text, 4) & 0xFFFF); }

int32_t CheckResponseCrc(const uint8_t* bytes, int32_t count) {
    if (bytes == nullptr || count < kCrcFrameMin) return 1;
    uint16_t crc = CalcCrc16(bytes + 1, count - 6);
    uint16_t sent = Hex4ToWord(reinterpret_cast<const char*>(bytes + count - 5));
    return crc == sent ? 0 : 1;
}

int32_t ParseDecimal(const char* text) {
    if (text == nullptr) return 0;
    const char* p = text;
    while (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\v' || *p == '\f' || *p == '\r') ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = (*p++ == '-');
    // Accumulate in 64 bits and stop growing once past the int32 range.
    int64_t value = 0;
    constexpr int64_t kLimit = static_cast<int64_t>(INT32_MAX) + 1;
    while (*p >= '0' && *p <= '9') {
        if (value <= kLimit) value = value * 10 + (*p - '0');
        ++p;
    }
    if (negative) value = -value;
    if (value > INT32_MAX) return INT32_MAX;
    if (value < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(value);
}

void IntakeResponse(const TTYINFO* tty, RESPONSE_COPY* copy) {
    std::memset(copy, 0, sizeof(*copy));
    if (tty == nullptr) return;

    // One load of the count serves the length line and the copy; the receive
    // thread stored every byte it counts before publishing the count.
    int32_t n = tty->response_count.load(std::memory_order_acquire);
    if (n < 0) n = 0;
    if (n > RESPONSE_MAX) n = RESPONSE_MAX;

    char line[32];
    std::snprintf(line, sizeof line, "len = %d\r\n", static_cast<int>(n));
    PaneAppend(EDIT_RECV, line);
    PaneAppend(EDIT_DEBUG, line);

    std::memcpy(copy->bytes, tty->response, static_cast<size_t>(n));
    copy->count = n;

    if (n >= kIntakeCrcMin) {
        if (CheckResponseCrc(copy->bytes, n) != 0) PaneAppend(EDIT_DEBUG, "CRC Failed, 843\r\n");
    } else {
        PaneAppend(EDIT_DEBUG, "CRC Failed, 846\r\n");
    }

    copy->eval_len = n > ECHO_MAX_BYTES ? ECHO_MAX_BYTES : n;

    char echo[ECHO_TEXT_MAX];
    BytesToPrintable(echo, copy->bytes, copy->eval_len, false);
    PaneAppend(EDIT_RECV, echo);
    PaneAppend(EDIT_RECV, "\r\n");
    PaneAppend(EDIT_DEBUG, echo);
    PaneAppend(EDIT_DEBUG, "\r\n");
}

bool ResponseHas(const RESPONSE_COPY* copy, int32_t offset, int32_t length) {
    if (copy == nullptr || offset < 0 || length < 0) return false;
    return static_cast<int64_t>(offset) + length <= copy->count;
}

int32_t BuildFramedRequest(const char* code, const char* payload, int32_t sequence, uint8_t* out) {
    // Fetching one character more than a Destination shows whether the box
    // holds more than seven.
    char dest[DESTINATION_LEN + 2];
    PaneGetText(EDIT_DEST, dest, sizeof dest);

    const size_t payload_len = payload != nullptr ? std::strlen(payload) : 0;
    if (payload_len > static_cast<size_t>(kPayloadMax)) {
        // Longer than the longest write packet: refuse rather than send a
        // truncated frame or run past FrameText.
        FrameText[0] = '\0';
        return 0;
    }

    char request[FRAME_TEXT_MAX];
    BuildFrameHead(request, dest, code);
    if (payload_len > 0) std::memcpy(request + FRAME_HEAD_LEN, payload, payload_len);
    request[FRAME_HEAD_LEN + payload_len] = '\0';
    FinishFrame(FrameText, request, sequence);
    return WrapFrame(out, FrameText, static_cast<int32_t>(std::strlen(FrameText)));
}
