// Shared set-up of the operation tests: a fresh sequencer context, the
// headless host with a port record, the fake port, and answer frames with
// a correct CRC.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "app/commands.h"
#include "app/host.h"
#include "protocol/frame_codec.h"
#include "protocol/memory_requests.h"
#include "resources/resource_ids.h"
#include "sequencer/seqinfo.h"
#include "serial/port.h"
#include "store/store.h"
#include "tests/support/fake_port.h"
#include "tests/support/host_headless.h"

// Text between LF and the sequence field, wrapped into a whole frame:
// LF, text, sequence, CRC of text + sequence, CR.
inline std::string Frame(const std::string& text, const std::string& sequence = "01") {
    std::string body = text + sequence;
    uint16_t crc = CalcCrc16(reinterpret_cast<const uint8_t*>(body.data()), static_cast<int32_t>(body.size()));
    char hex[8];
    AppendCrcHex(hex, 0, crc);
    return "\n" + body + hex + "\r";
}

// An answer of the loader: Src "01", Dest "0000000", Type, Rdr "01", data.
inline std::string Answer(const std::string& type, const std::string& data = "",
                          const std::string& sequence = "01") {
    return Frame("010000000" + type + "01" + data, sequence);
}

inline std::string WriteAck(int number) {
    char hex[4];
    ByteToHex(hex, number);
    return Answer("83", hex, hex);
}

inline std::string WriteError(int code) {
    char hex[4];
    ByteToHex(hex, code);
    return Answer("85", hex);
}

class OpsTest : public ::testing::Test {
protected:
    TTYINFO* tty = nullptr;

    void SetUp() override {
        headless::Reset();
        fake_port::Reset();
        FileInit();
        InitSeqInfo();
        g_seq.log_to_file = 0;
        ASSERT_EQ(InitPortRecord(&tty), 1);
        HostSetPortRecord(tty);
        DialogResult[0] = '\0';
    }

    void TearDown() override {
        HostSetPortRecord(nullptr);
        FreePortRecord(tty);
        FileClose();
    }

    // A fresh start inside a table-driven test.
    void Restart() {
        TearDown();
        SetUp();
    }

    // Runs the sequencer until it stops; fails the test when it does not.
    int RunToStop(int limit = 100000) {
        int ticks = headless::TickUntilStopped(limit);
        EXPECT_FALSE(headless::TimerRunning()) << "the run did not stop";
        return ticks;
    }

    // Intake lines of an answer as both panes show them: length line and echo.
    static std::string Echo(const std::string& answer) {
        int32_t n = static_cast<int32_t>(answer.size());
        int32_t shown = n > ECHO_MAX_BYTES ? ECHO_MAX_BYTES : n;
        char echo[ECHO_TEXT_MAX];
        BytesToPrintable(echo, reinterpret_cast<const uint8_t*>(answer.data()), shown, false);
        return "len = " + std::to_string(n) + "\r\n" + echo + "\r\n";
    }

    std::string Recv() const { return headless::Pane(EDIT_RECV); }
    std::string Debug() const { return headless::Pane(EDIT_DEBUG); }
    std::string Progress() const { return headless::Pane(EDIT_PROGRESS); }
};
