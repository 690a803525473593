// Line rates outside the termios table (56000 and the like), through the
// kernel's arbitrary-rate interface.
#pragma once

#include <cstdint>

// Sets both directions of `fd` to `rate` bit/s. false when the kernel
// refuses it.
bool SetArbitraryRate(int fd, uint32_t rate);
