#include "protocol/memory_requests.h"

#include <cstring>

#include "app/host.h"
#include "protocol/requests.h"
#include "resources/resource_ids.h"
#include "sequencer/seqinfo.h"

char DialogResult[DIALOG_RESULT_MAX];

namespace {

// Length of a box's text as the dialog takes it: at most DIALOG_FIELD_MAX - 1.
int32_t FieldLength(const char* text) {
    if (text == nullptr) return 0;
    int32_t n = 0;
    while (n < DIALOG_FIELD_MAX - 1 && text[n] != '\0') ++n;
    return n;
}

// Joins two accepted fields into DialogResult; their lengths were checked
// against the capacity by the caller's rule.
void SetResult(const char* first, int32_t first_len, const char* second, int32_t second_len) {
    std::memcpy(DialogResult, first, static_cast<size_t>(first_len));
    std::memcpy(DialogResult + first_len, second, static_cast<size_t>(second_len));
    DialogResult[first_len + second_len] = '\0';
}

// A piece answer must be longer than this for the read to go on; an error
// report of the loader is not.
constexpr int32_t FLASH_ANSWER_MORE = 28;

// EEPROM answers show at most this many data bytes.
constexpr int32_t EEPROM_DATA_MAX = 7;

}  // namespace

void CancelParamDialog() { DialogResult[0] = '\0'; }

void AcceptReadData(const char* flash_addr, const char* read_count) {
    int32_t addr_len = FieldLength(flash_addr);
    int32_t count_len = FieldLength(read_count);
    if (addr_len != 8 || count_len != 4) {
        CancelParamDialog();
        return;
    }
    SetResult(flash_addr, addr_len, read_count, count_len);
}

void AcceptReadE2(const char* e2_addr, const char* length) {
    int32_t addr_len = FieldLength(e2_addr);
    int32_t length_len = FieldLength(length);
    if (addr_len != 2 || length_len != 2) {
        CancelParamDialog();
        return;
    }
    SetResult(e2_addr, addr_len, length, length_len);
}

void AcceptWriteData(const char* write_addr, const char* data) {
    int32_t addr_len = FieldLength(write_addr);
    int32_t data_len = FieldLength(data);
    if (addr_len != 2 || data_len < 2 || data_len > 14 || data_len % 2 != 0) {
        CancelParamDialog();
        return;
    }
    SetResult(write_addr, addr_len, data, data_len);
}

void BuildReadFlashRequest(TTYINFO*, OUTGOING* out) {
    uint32_t addr = g_seq.read_addr;
    int32_t length;
    if (g_seq.read_remain > FLASH_PIECE_MAX) {
        length = FLASH_PIECE_MAX;
        g_seq.read_addr = addr + FLASH_PIECE_MAX;  // unsigned: wraps at 2^32
        g_seq.read_remain -= FLASH_PIECE_MAX;
    } else {
        length = g_seq.read_remain > 0 ? g_seq.read_remain : 0;
        g_seq.read_remain = 0;
    }
    const uint8_t bytes[6] = {
        static_cast<uint8_t>(addr >> 24), static_cast<uint8_t>(addr >> 16),
        static_cast<uint8_t>(addr >> 8),  static_cast<uint8_t>(addr),
        static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length),
    };
    char payload[13];
    BytesToHex(payload, bytes, 6, true);
    out->count = BuildFramedRequest(RequestCode(IDM_READ_FLASH), payload, g_seq.expect_seq, out->bytes);
}

void EvaluateReadFlash(TTYINFO*, const RESPONSE_COPY* response) {
    if (response->eval_len > FLASH_ANSWER_MORE && g_seq.read_remain != 0) g_seq.seq_state = ST_START;
}

void BuildReadEepromRequest(TTYINFO*, OUTGOING* out) {
    out->count = BuildFramedRequest(RequestCode(IDM_READ_EEPROM), DialogResult, g_seq.expect_seq, out->bytes);
}

void EvaluateReadEeprom(TTYINFO*, const RESPONSE_COPY* response) {
    // Past what arrived the copy is zero, which reads as length 0.
    int32_t length = HexToInt(reinterpret_cast<const char*>(response->bytes) + 16, 2);
    if (length == 0 || length > EEPROM_DATA_MAX) {
        PaneAppend(EDIT_DEBUG, "Error, len > 7 bytes\r\n");
        return;
    }
    AppendReceivedField(EDIT_DEBUG, "Read Data: [", response, 18, 2 * length, "]\r\n");
}

void BuildWriteEepromRequest(TTYINFO*, OUTGOING* out) {
    out->count = BuildFramedRequest(RequestCode(IDM_WRITE_EEPROM), DialogResult, g_seq.expect_seq, out->bytes);
}
