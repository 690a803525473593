#include "sequencer/seqinfo.h"

SEQINFO g_seq;

void InitSeqInfo() {
    g_seq = SEQINFO{};
    g_seq.seq_state = ST_RESET;
    g_seq.expect_seq = 1;
    g_seq.chunk_size = 20;
    g_seq.log_to_file = 1;
}
