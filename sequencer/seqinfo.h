// The sequencer context: one per process, owned by the main window.
#pragma once

#include <cstdint>

constexpr int32_t ST_START = 0;
constexpr int32_t ST_RECV = 1;
constexpr int32_t ST_WAIT = 4;
constexpr int32_t ST_PAUSE = 5;
constexpr int32_t ST_RESET = 24;  // also the idle value

constexpr int32_t MAXFAIL = 5;
constexpr int ENC_PATH_MAX = 260;

struct SEQINFO {
    int32_t cur_cmd;      // operation id the sequencer runs
    int32_t seq_state;
    int32_t fail_count;   // consecutive failed or unanswered write packets
    int32_t total_fail;   // pauses taken by the unanswered-packet rule
    uint8_t write_seq;    // sequence number of the current write packet
    int32_t expect_seq;   // sequence value of every request frame
    int32_t file_offset;  // image bytes accepted so far
    int32_t file_size;
    int32_t chunk_size;   // data bytes per write packet, 20..256
    int32_t wait_count;   // ticks counted in ST_PAUSE
    int32_t reset3856;    // the next capture switches the port to 57600 first
    int32_t log_to_file;  // trace lines go to the trace log while set
    char enc_path[ENC_PATH_MAX];
    uint32_t read_addr;   // flash address of the next piece
    int32_t read_remain;  // flash bytes still to request
};

extern SEQINFO g_seq;

// Initial values of window creation: ST_RESET, trace on, packet size 20,
// sequence value 1, everything else zero or empty.
void InitSeqInfo();
