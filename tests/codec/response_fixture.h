// A port record for the response tests and well-formed answer frames.
#pragma once

#include <memory>
#include <string>

#include "protocol/frame_codec.h"
#include "serial/ttyinfo.h"

inline std::unique_ptr<TTYINFO> NewRecord() {
    auto tty = std::make_unique<TTYINFO>();  // zero-filled, as the record is allocated
    SetInitialPortValues(tty.get());
    return tty;
}

inline void Feed(TTYINFO* tty, const std::string& bytes) {
    for (char c : bytes) CollectResponseByte(tty, static_cast<uint8_t>(c));
}

// LF, Src, Dest, Type, Rdr, data, two covered characters, CRC, CR.
inline std::string AnswerFrame(const std::string& data, const std::string& type = "83") {
    std::string text = "01" "1234567" + type + "00" + data + "01";
    uint16_t crc = CalcCrc16(reinterpret_cast<const uint8_t*>(text.data()), static_cast<int32_t>(text.size()));
    char hex[5];
    AppendCrcHex(hex, 0, crc);
    return "\n" + text + hex + "\r";
}
