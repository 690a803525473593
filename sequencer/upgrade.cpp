#include "sequencer/upgrade.h"

#include <cstdint>
#include <cstdio>

#include "app/host.h"
#include "protocol/requests.h"
#include "resources/resource_ids.h"
#include "sequencer/seqinfo.h"
#include "serial/ttyinfo.h"
#include "store/store.h"

namespace {

// The Data Size box is read up to this many characters.
constexpr int SIZE_TEXT_MAX = 100;

void Trace(const char* text, int32_t count) {
    if (g_seq.log_to_file) TraceLogAppend(text, count);
}

void StopBuild(const char* message) {
    PaneAppend(EDIT_RECV, message);
    g_seq.seq_state = ST_RESET;
}

// chunk_size is only ever set through ChunkSizeFromText; the clamp keeps a
// stray value from reaching past the packet buffers.
int32_t CurrentChunkSize() {
    int32_t size = g_seq.chunk_size;
    if (size < CHUNK_SIZE_MIN) return CHUNK_SIZE_MIN;
    if (size > CHUNK_SIZE_MAX) return CHUNK_SIZE_MAX;
    return size;
}

}  // namespace

void ChooseImageFile() {
    if (HostChooseImageFile(g_seq.enc_path, ENC_PATH_MAX) == 1) PaneSetText(EDIT_ENCFILE, g_seq.enc_path);
}

int32_t ChunkSizeFromText(const char* text) {
    if (text[0] == '\0') return CHUNK_SIZE_MIN;
    int32_t value = ParseDecimal(text);
    if (value > CHUNK_SIZE_MAX) return CHUNK_SIZE_MAX;
    if (value < CHUNK_SIZE_MIN) return CHUNK_SIZE_MIN;
    return value;
}

int PrepareFirmwareUpgrade() {
    Trace("Start", 5);
    PanePrependLine(EDIT_DEBUG, "Begin Firmware Upgrade: ");
    g_seq.cur_cmd = ID_FWUG_INPROCESS;
    g_seq.write_seq = 0;
    g_seq.file_offset = 0;
    g_seq.total_fail = 0;

    char size_text[SIZE_TEXT_MAX];
    PaneGetText(EDIT_SIZE, size_text, SIZE_TEXT_MAX);
    g_seq.chunk_size = ChunkSizeFromText(size_text);

    int32_t size = 0;
    if (FileOpenRead(g_seq.enc_path) != 0) {
        PaneAppend(EDIT_RECV, "\r\nError, failed to open the Reader.enc File, Ln 446");
        return 0;
    }
    // An image whose size cannot be told (or does not fit the counters)
    // is refused like one that cannot be opened.
    int measured = FileMeasure(&size);
    FileClose();
    if (measured != 0) {
        PaneAppend(EDIT_RECV, "\r\nError, failed to open the Reader.enc File, Ln 446");
        return 0;
    }
    g_seq.file_size = size;
    return 1;
}

void FormatProgress(char* out, int cap, int32_t offset, int32_t size) {
    // Nothing to send is complete; the quotient has no value then.
    float percent = 100.0f;
    if (size > 0) {
        float quotient = static_cast<float>(offset) / static_cast<float>(size);
        percent = quotient * 100.0f;
    }
    std::snprintf(out, static_cast<size_t>(cap), "%.2f %%\r\n", static_cast<double>(percent));
}

void BuildWritePacket(TTYINFO* tty, OUTGOING* out) {
    char line[48];
    FormatProgress(line, sizeof line, g_seq.file_offset, g_seq.file_size);
    PaneAppend(EDIT_PROGRESS, line);
    std::snprintf(line, sizeof line, "Sequence %d\r\n", static_cast<int>(g_seq.write_seq));
    PaneAppend(EDIT_DEBUG, line);

    if (FileOpenRead(g_seq.enc_path) != 0) {
        StopBuild("Error, failed to open the Reader.enc File, Ln 874\r\n");
        return;
    }
    if (g_seq.file_offset >= g_seq.file_size) {
        StopBuild("Firmware upgrade complete, select the 'G' (go) cmd.\r\n");
        FileClose();
        return;
    }
    if (FileSeekStart(g_seq.file_offset) != 0) {
        StopBuild("Error, lseek function failed\r\n");
        FileClose();
        return;
    }

    const int32_t chunk = CurrentChunkSize();
    int32_t remaining = g_seq.file_size - g_seq.file_offset;
    int32_t wanted = remaining < chunk ? remaining : chunk;
    uint8_t data[CHUNK_SIZE_MAX];
    if (FileRead(data, wanted) != 0) {
        StopBuild("Error, Read function failed\r\n");
        PaneAppend(EDIT_DEBUG, "Error, Read function failed\r\n");
        FileClose();
        return;
    }
    FileClose();
    for (int32_t i = wanted; i < chunk; ++i) data[i] = PACKET_FILLER;

    // Sequence number, then the data: 2 + 2 x 256 characters at most.
    char payload[2 + 2 * CHUNK_SIZE_MAX + 1];
    ByteToHex(payload, g_seq.write_seq);
    BytesToHex(payload + 2, data, chunk, true);

    g_seq.expect_seq = g_seq.write_seq;
    out->count = BuildFramedRequest(RequestCode(ID_FWUG_INPROCESS), payload, g_seq.expect_seq, out->bytes);
    tty->wait_ticks = WRITE_WAIT_TICKS;
}

void EvaluateUpgradeAnswer(TTYINFO*, const RESPONSE_COPY* response) {
    int outcome = EvaluateWritePacket(response);
    if (outcome == WRITE_ACKNOWLEDGED && g_seq.total_fail != 0) {
        g_seq.total_fail = 0;
        Trace("Clear total_fail\n", 17);
    }

    if (WriteAccepted(outcome)) {
        g_seq.fail_count = 0;
        g_seq.write_seq = static_cast<uint8_t>(g_seq.write_seq + 1);
        const int32_t chunk = CurrentChunkSize();
        // Saturates rather than overflowing past the end of a huge image.
        g_seq.file_offset = g_seq.file_offset > INT32_MAX - chunk ? INT32_MAX : g_seq.file_offset + chunk;
        if (g_seq.file_offset >= g_seq.file_size) {
            PaneAppend(EDIT_DEBUG, "Done! (success)\r\n");
            return;
        }
        PaneAppend(EDIT_DEBUG, "(success)\r\n");
        g_seq.seq_state = ST_START;
        return;
    }

    PaneAppend(EDIT_DEBUG, "failed\r\n");
    PaneAppend(EDIT_PROGRESS, "failed\r\n");
    char line[32];
    std::snprintf(line, sizeof line, "Sector = %d\r\n", static_cast<int>(g_seq.write_seq));
    PaneAppend(EDIT_PROGRESS, line);
    ++g_seq.fail_count;
    if (g_seq.fail_count < MAXFAIL) {
        g_seq.seq_state = ST_START;
        return;
    }
    PaneAppend(EDIT_DEBUG, "Error, failed Firmware Upgrade with failed >= MAXFAIL\r\n");
}

void EvaluateSendOneWrite(TTYINFO*, const RESPONSE_COPY* response) {
    PaneAppend(EDIT_DEBUG, "Send One Write\r\n");
    AppendReceivedField(EDIT_DEBUG, "", response, 10, 2);
}
