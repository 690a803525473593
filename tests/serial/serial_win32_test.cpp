// The Win32 serial backend through a COM port that leads to the simulated
// loader (win32_roundtrip.sh links dosdevices/comN to its pty and names the
// port and the simulator's frame log in TESSMAR_SIM_COM and TESSMAR_SIM_LOG).
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "protocol/frame_codec.h"
#include "serial/port.h"
#include "tests/serial/serial_test_support.h"
#include "serial/port_os_win32.h"

namespace {

using Clock = std::chrono::steady_clock;

bool WaitFor(const std::function<bool()>& condition, int timeout_ms = 5000) {
    return serial_test::WaitUntil(condition, timeout_ms, 2);
}

std::vector<uint8_t> Request(const std::string& code, int sequence) {
    return serial_test::RequestFrame("0000000", code, "", sequence);
}

std::string SimLogText() {
    const char* path = getenv("TESSMAR_SIM_LOG");
    if (path == nullptr) return "";
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class Win32Link : public ::testing::Test {
protected:
    void SetUp() override {
        const char* com = getenv("TESSMAR_SIM_COM");
        if (com == nullptr) GTEST_SKIP() << "no simulated loader on a COM port (run through win32_roundtrip.sh)";
        port_ = static_cast<uint8_t>(atoi(com));
        ASSERT_EQ(InitPortRecord(&tty_), 1);
        tty_->port_number = port_;
    }
    void TearDown() override {
        if (tty_) FreePortRecord(tty_);
    }
    // Sends a request and waits until `length` bytes have been collected.
    bool Exchange(const std::string& code, int length) {
        ArmResponse(tty_, 100);
        std::vector<uint8_t> r = Request(code, 1);
        if (SendBytes(tty_, r.data(), static_cast<int>(r.size())) != 1) return false;
        return WaitFor([&] { return tty_->response_count.load() >= length; });
    }

    // Nothing is left in the driver's input queue.
    bool QueueEmpty() {
        return WaitFor([&] {
            COMSTAT stat{};
            DWORD errors = 0;
            return ClearCommError(tty_->os->port, &errors, &stat) && stat.cbInQue == 0;
        });
    }

    uint8_t port_ = 0;
    TTYINFO* tty_ = nullptr;
};

TEST_F(Win32Link, RequestOutAnswerIntoTheResponseBuffer) {
    ASSERT_TRUE(OpenPort(tty_));
    EXPECT_NE(tty_->reader_thread_id.load(), 0u);
    ASSERT_TRUE(Exchange("05", 25));
    EXPECT_TRUE(QueueEmpty());
    EXPECT_EQ(tty_->response_count.load(), 25);
    EXPECT_EQ(tty_->response_complete.load(), 0);
    EXPECT_EQ(tty_->response[0], 0x0A);
    EXPECT_EQ(tty_->response[24], 0x0D);
    EXPECT_EQ(CheckResponseCrc(tty_->response, 25), 0);

    auto start = Clock::now();
    EXPECT_EQ(ClosePort(tty_), 1);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(2));
    EXPECT_EQ(tty_->connected.load(), 0);
    EXPECT_EQ(tty_->reader_thread_id.load(), 0u);
    EXPECT_EQ(tty_->os->port, INVALID_HANDLE_VALUE);
    EXPECT_EQ(tty_->os->thread, nullptr);
    EXPECT_EQ(ClosePort(tty_), 1);  // idle: nothing touched
    EXPECT_EQ(SendBytes(tty_, tty_->response, 1), 0);
}

TEST_F(Win32Link, LongAndSplitAnswers) {
    ASSERT_TRUE(OpenPort(tty_));
    // The simulator pads the attributes answer to 120 bytes: the first 100 are kept.
    ASSERT_TRUE(Exchange("46", 100));
    EXPECT_EQ(tty_->response_complete.load(), 1);
    EXPECT_TRUE(QueueEmpty());  // the last 20 have been read and dropped
    EXPECT_EQ(tty_->response_count.load(), 100);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(tty_->response) + 10, 2), "83");

    // It writes the sequence-number answer in four pieces: they arrive in order.
    ASSERT_TRUE(Exchange("44", 23));
    EXPECT_EQ(CheckResponseCrc(tty_->response, 23), 0);
    EXPECT_EQ(tty_->response_complete.load(), 0);
}

TEST_F(Win32Link, OpenPortOnAnOpenRecordChangesNothing) {
    ASSERT_TRUE(OpenPort(tty_));
    HANDLE port = tty_->os->port;
    uint32_t id = tty_->reader_thread_id.load();
    EXPECT_FALSE(OpenPort(tty_));
    EXPECT_EQ(tty_->os->port, port);
    EXPECT_EQ(tty_->reader_thread_id.load(), id);
    EXPECT_EQ(tty_->connected.load(), 1);
    EXPECT_TRUE(Exchange("40", 21));
}

TEST_F(Win32Link, MissingPort) {
    tty_->port_number = 9;  // no dosdevices entry for it
    EXPECT_FALSE(OpenPort(tty_));
    EXPECT_EQ(tty_->connected.load(), 0);
    EXPECT_EQ(tty_->reader_thread_id.load(), 0u);
    EXPECT_EQ(ClosePort(tty_), 1);
}

TEST_F(Win32Link, RatesAndTimeoutsReachTheLine) {
    struct Case {
        uint32_t rate;
        DWORD write_multiplier;
    } cases[] = {{9600, 2}, {19200, 1}, {38400, 0}, {57600, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rate);
        tty_->baud_rate = c.rate;
        ASSERT_TRUE(OpenPort(tty_));
        COMMTIMEOUTS t{};
        ASSERT_TRUE(GetCommTimeouts(tty_->os->port, &t));
        EXPECT_EQ(t.ReadIntervalTimeout, MAXDWORD);
        EXPECT_EQ(t.ReadTotalTimeoutMultiplier, 0u);
        EXPECT_EQ(t.ReadTotalTimeoutConstant, 1000u);
        EXPECT_EQ(t.WriteTotalTimeoutMultiplier, c.write_multiplier);
        EXPECT_EQ(t.WriteTotalTimeoutConstant, 0u);
        ASSERT_TRUE(Exchange("40", 21));
        // The device saw the request at this rate.
        std::string log = SimLogText();
        size_t last = log.rfind("rate=");
        ASSERT_NE(last, std::string::npos);
        EXPECT_EQ(log.substr(last, log.find(' ', last) - last), "rate=" + std::to_string(c.rate));
        ClosePort(tty_);
    }
}

TEST_F(Win32Link, HandshakesInTheDeviceControlBlock) {
    // What a pty lets Wine keep: the rate, RTS/CTS and XON/XOFF.
    struct Case {
        uint8_t flow;
        DWORD cts, outx, inx;
    } cases[] = {{0, 0, 0, 0}, {FLOW_DTRDSR | FLOW_RTSCTS | FLOW_XONXOFF, 1, 1, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.flow));
        tty_->flow_ctrl = c.flow;
        tty_->baud_rate = 19200;
        ASSERT_TRUE(OpenPort(tty_));
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        ASSERT_TRUE(GetCommState(tty_->os->port, &dcb));
        EXPECT_EQ(dcb.BaudRate, 19200u);
        EXPECT_EQ(dcb.fOutxCtsFlow, c.cts);
        EXPECT_EQ(dcb.fOutX, c.outx);
        EXPECT_EQ(dcb.fInX, c.inx);
        EXPECT_EQ(dcb.ByteSize, 8);
        EXPECT_TRUE(Exchange("40", 21));
        ClosePort(tty_);
    }
}

TEST_F(Win32Link, StalledBytesAreGivenUpAndTheLineRecovers) {
    // The simulator answers "45" with XOFF and sends XON 2500 ms later. A
    // byte that cannot leave is given up after the port's write time-out
    // (2 ms a byte at 9600) or, without one (38400), after 1000 ms, with the
    // transfer cancelled before the next byte uses the write record.
    struct Case {
        uint32_t rate;
        int min_ms, max_ms;
    } cases[] = {{38400, 1900, 2450}, {9600, 0, 500}};
    size_t stalls = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rate);
        tty_->flow_ctrl = FLOW_XONXOFF;
        tty_->baud_rate = c.rate;
        ASSERT_TRUE(OpenPort(tty_));
        std::vector<uint8_t> reset_vars = Request("45", 1);
        auto sent = Clock::now();
        SendBytes(tty_, reset_vars.data(), static_cast<int>(reset_vars.size()));
        // The simulator has logged the request, so XOFF is on its way; a
        // moment more for the line to act on it.
        ++stalls;
        ASSERT_TRUE(WaitFor([&] {
            std::string log = SimLogText();
            size_t n = 0;
            for (size_t at = log.find("cmd=45"); at != std::string::npos; at = log.find("cmd=45", at + 1)) ++n;
            return n >= stalls;
        }));
        std::this_thread::sleep_for(std::chrono::milliseconds(200));

        const uint8_t two[2] = {'Z', 'Z'};
        auto start = Clock::now();
        EXPECT_EQ(SendBytes(tty_, two, 2), 1);
        auto took = Clock::now() - start;
        EXPECT_GE(took, std::chrono::milliseconds(c.min_ms));
        EXPECT_LT(took, std::chrono::milliseconds(c.max_ms));

        // After XON (due 2500 ms after the request; this side cannot see it
        // arrive) a request goes out whole on the same write record.
        while (Clock::now() - sent < std::chrono::milliseconds(2700))
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        EXPECT_TRUE(Exchange("05", 25));
        EXPECT_EQ(CheckResponseCrc(tty_->response, 25), 0);
        ClosePort(tty_);
    }
}

TEST_F(Win32Link, LineDropThenReconnect) {
    // The simulator drops the line on "42": its pty goes, a new one takes
    // its place behind the same COM port.
    ASSERT_TRUE(OpenPort(tty_));
    ArmResponse(tty_, 100);
    std::vector<uint8_t> go = Request("42", 1);
    SendBytes(tty_, go.data(), static_cast<int>(go.size()));
    ASSERT_TRUE(WaitFor([&] { return SimLogText().find("cmd=42") != std::string::npos; }));
    SendBytes(tty_, go.data(), static_cast<int>(go.size()));  // into the dropped line
    EXPECT_EQ(tty_->response_count.load(), 0);

    auto start = Clock::now();
    EXPECT_EQ(ClosePort(tty_), 1);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(2));
    EXPECT_EQ(tty_->reader_thread_id.load(), 0u);

    ASSERT_TRUE(WaitFor([&] { return OpenPort(tty_); }));  // the new pty is there
    EXPECT_TRUE(Exchange("40", 21));
}

TEST(Win32Record, LabelFontEventsAndNullRecords) {
    TTYINFO* tty = nullptr;
    ASSERT_EQ(InitPortRecord(&tty), 1);
    EXPECT_NE(tty->os->read_ov.hEvent, nullptr);
    EXPECT_NE(tty->os->write_ov.hEvent, nullptr);
    EXPECT_EQ(tty->os->port, INVALID_HANDLE_VALUE);
    ASSERT_NE(tty->display_font, nullptr);
    LOGFONTA made{};
    ASSERT_EQ(GetObjectA(static_cast<HFONT>(tty->display_font), sizeof made, &made), static_cast<int>(sizeof made));
    EXPECT_EQ(made.lfHeight, 12);
    EXPECT_EQ(made.lfCharSet, OEM_CHARSET);
    EXPECT_STREQ(made.lfFaceName, "FixedSys");

    // The font chooser's new description replaces the font.
    tty->log_font.lfHeight = 20;
    lstrcpynA(tty->log_font.lfFaceName, "Courier New", LF_FACESIZE);
    EXPECT_EQ(MakeDisplayFont(tty), 1);
    ASSERT_EQ(GetObjectA(static_cast<HFONT>(tty->display_font), sizeof made, &made), static_cast<int>(sizeof made));
    EXPECT_EQ(made.lfHeight, 20);
    EXPECT_STREQ(made.lfFaceName, "Courier New");

    EXPECT_EQ(ClosePort(tty), 1);  // idle
    EXPECT_EQ(FreePortRecord(tty), 1);
    EXPECT_EQ(FreePortRecord(nullptr), 0);
    EXPECT_EQ(MakeDisplayFont(nullptr), 0);
    EXPECT_EQ(ClosePort(nullptr), 0);
    EXPECT_FALSE(OpenPort(nullptr));
    EXPECT_FALSE(ApplyPortSettings(nullptr));
    EXPECT_EQ(TransmitByte(nullptr, 0x41), 0);
}

}  // namespace
