#include "protocol/requests.h"

#include "app/host.h"
#include "resources/resource_ids.h"
#include "sequencer/seqinfo.h"

namespace {

struct CATALOGUE_ROW {
    int32_t id;
    const char* code;
};

constexpr CATALOGUE_ROW kCatalogue[] = {
    {BTN_VERSION, "05"},
    {IDM_APP_RESET, "21"},
    {BTN_RESETCMD, "21"},
    {BTN_CAP, "40"},
    {ID_FWUG_INPROCESS, "41"},
    {IDM_SEND_ONE_WRITE, "41"},
    {BTN_GO, "42"},
    {IDM_READ_FLASH, "43"},
    {IDM_GET_SEQ_NUM, "44"},
    {IDM_RESET_FLASH_VARS, "45"},
    {IDM_GET_BL_ATTR, "46"},
    {IDM_READ_EEPROM, "47"},
    {IDM_WRITE_EEPROM, "48"},
    {IDM_BL_GET_CRC, "49"},
};

struct ERROR_ROW {
    int32_t code;
    const char* message;
};

constexpr ERROR_ROW kLoaderErrors[] = {
    {0x02, "Info on port not available\r\n"},
    {0x03, "Invalid messge length\r\n"},
    {0x04, "relay number invalid\r\n"},
    {0x05, "activation time not valid\r\n"},
    {0x06, "data received is out of range\r\n"},
    {0x08, "message invalid during idle mode\r\n"},
    {0x09, "activate control on with no override enabled\r\n"},
    {0x21, "pass thru was attempted with Input/Output mismatch\r\n"},
    {0x22, "receive buffer over-flow\r\n"},
    {0x23, "unknown command\r\n"},
    {0x24, "write packet too short in length, less than 27 bytes\r\n"},
    {0x25, "write packet payload not a multiple of 2\r\n"},
    {0x26, "write packet sequence mis-match\r\n"},
    {0x27, "flash address less than base of app\r\n"},
    {0x28, "number of flash memory bytes to read must be 64 or less\r\n"},
    {0x29, "invalid read packet length, sb 41 bytes\r\n"},
    {0x2A, "read length too long\r\n"},
    {0x2B, "write length too long\r\n"},
};

// Shortest answer whose Type and sequence/code fields are worth reading.
constexpr int32_t WRITE_ANSWER_MIN = 19;

const char* Field(const RESPONSE_COPY* response, int32_t offset) {
    return reinterpret_cast<const char*>(response->bytes) + offset;
}

}  // namespace

const char* RequestCode(int32_t id) {
    for (const CATALOGUE_ROW& row : kCatalogue)
        if (row.id == id) return row.code;
    return nullptr;
}

void BuildCatalogueRequest(TTYINFO*, OUTGOING* out) {
    const char* code = RequestCode(g_seq.cur_cmd);
    if (code == nullptr) {
        g_seq.seq_state = ST_RESET;
        return;
    }
    out->count = BuildFramedRequest(code, "", g_seq.expect_seq, out->bytes);
}

const char* LoaderErrorMessage(int32_t code) {
    for (const ERROR_ROW& row : kLoaderErrors)
        if (row.code == code) return row.message;
    return nullptr;
}

void AppendReceivedField(int pane, const char* label, const RESPONSE_COPY* response,
                         int32_t offset, int32_t width, const char* end) {
    constexpr int kTextMax = 32;
    char line[kTextMax + FIELD_SHOWN_MAX + kTextMax + 1];
    int n = 0;
    for (const char* p = label; *p != '\0' && n < kTextMax; ++p) line[n++] = *p;
    for (int32_t i = 0; i < width && i < FIELD_SHOWN_MAX; ++i) {
        // A field cut short by a short answer shows what arrived, nothing more.
        if (!ResponseHas(response, offset + i, 1)) break;
        line[n++] = static_cast<char>(response->bytes[offset + i]);
    }
    int written = 0;
    for (const char* p = end; *p != '\0' && written < kTextMax; ++p, ++written) line[n++] = *p;
    line[n] = '\0';
    PaneAppend(pane, line);
}

void EvaluateBlGetCrc(TTYINFO*, const RESPONSE_COPY* response) {
    // Only an answer with the four-character CRC field has these fields.
    if (response->eval_len != 25) return;
    AppendReceivedField(EDIT_DEBUG, "Src: ", response, 1, 2);
    AppendReceivedField(EDIT_DEBUG, "Dest: ", response, 3, 7);
    AppendReceivedField(EDIT_DEBUG, "Type: ", response, 10, 2);
    AppendReceivedField(EDIT_DEBUG, "Rdr: ", response, 12, 2);
    AppendReceivedField(EDIT_DEBUG, "CRC: ", response, 14, 4);
}

void EvaluateBlAttributes(TTYINFO*, const RESPONSE_COPY* response) {
    PaneAppend(EDIT_DEBUG, "Get Boot-Loader Attributes\r\n");
    AppendReceivedField(EDIT_DEBUG, "Max Packet Size: ", response, 14, 4);
    AppendReceivedField(EDIT_DEBUG, "Firmware Version: ", response, 18, 4);
    AppendReceivedField(EDIT_DEBUG, "uP Type: ", response, 22, 2);
}

void EvaluateAppReset(TTYINFO*, const RESPONSE_COPY*) {
    PaneAppend(EDIT_DEBUG, "ST_RECV, after reset 57k, All Done\r\n");
}

int EvaluateWritePacket(const RESPONSE_COPY* response) {
    if (response->eval_len < WRITE_ANSWER_MIN) return WRITE_FAILED;
    int32_t type = HexToInt(Field(response, 10), 2);
    int32_t value = HexToInt(Field(response, 14), 2);
    if (type == WRITE_ACK_TYPE)
        return value == g_seq.expect_seq ? WRITE_ACKNOWLEDGED : WRITE_FAILED;
    if (type == WRITE_ERROR_TYPE) {
        const char* message = LoaderErrorMessage(value);
        if (message != nullptr) PaneAppend(EDIT_DEBUG, message);
        // The one error report that lets the transfer go on with the next packet.
        return value == ERROR_SEQ_MISMATCH ? WRITE_SEQ_MISMATCH : WRITE_FAILED;
    }
    return WRITE_FAILED;
}
