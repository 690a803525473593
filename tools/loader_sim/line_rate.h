#pragma once

#include <cstdint>

// bit/s the pty's slave side is set to; 0 when it cannot be read.
uint32_t PtyLineRate(int master_fd);
