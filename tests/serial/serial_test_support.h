// Small helpers shared by the serial link and simulator tests.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "protocol/frame_codec.h"

namespace serial_test {

// Polls `condition` until it holds or `timeout_ms` have passed.
inline bool WaitUntil(const std::function<bool()>& condition, int timeout_ms, int step_ms = 1) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(step_ms));
    }
    return true;
}

// A request frame as the tool sends it: LF, text with sequence and CRC, CR.
inline std::vector<uint8_t> RequestFrame(const std::string& destination, const std::string& code,
                                         const std::string& payload, int sequence) {
    char seq[3];
    std::snprintf(seq, sizeof seq, "%02X", sequence & 0xFF);
    std::string text = destination + "02" + code + "01" + payload + seq;
    char crc[5];
    std::snprintf(crc, sizeof crc, "%04X",
                  CalcCrc16(reinterpret_cast<const uint8_t*>(text.data()), static_cast<int32_t>(text.size())));
    text += crc;
    std::vector<uint8_t> out{0x0A};
    out.insert(out.end(), text.begin(), text.end());
    out.push_back(0x0D);
    return out;
}

}  // namespace serial_test
