// The POSIX serial backend with its real receive thread, against the
// simulated loader on a pseudo-terminal.
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "protocol/frame_codec.h"
#include "serial/port.h"
#include "tests/serial/serial_test_support.h"
#include "serial/port_os_posix.h"
#include "tools/loader_sim/loader_sim.h"

namespace {

using Clock = std::chrono::steady_clock;

bool WaitFor(const std::function<bool()>& condition, int timeout_ms = 3000) {
    return serial_test::WaitUntil(condition, timeout_ms);
}

std::vector<uint8_t> Request(const std::string& code, const std::string& payload, int sequence) {
    return serial_test::RequestFrame("0000000", code, payload, sequence);
}

std::string Collected(TTYINFO* tty) {
    int n = tty->response_count.load();
    return std::string(reinterpret_cast<const char*>(tty->response), static_cast<size_t>(n));
}

std::vector<uint8_t> Pattern(size_t n) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(i * 7 + 1);
    return v;
}

class SerialLink : public ::testing::Test {
protected:
    void SetUp() override {
        link_ = "/tmp/tessmar-serial-test-" + std::to_string(getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name();
        SIM_OPTIONS options;
        options.link_path = link_;
        sim_ = SimStart(options);
        ASSERT_NE(sim_, nullptr);
        ASSERT_EQ(InitPortRecord(&tty_), 1);
        Point(tty_, link_);
    }
    void TearDown() override {
        if (tty_) FreePortRecord(tty_);
        SimStop(sim_);
    }
    static void Point(TTYINFO* tty, const std::string& path) {
        snprintf(tty->device_path, DEVICE_PATH_MAX, "%s", path.c_str());
    }
    // Everything the simulator was asked to write has left it and has been
    // taken by the receive thread.
    bool Quiet(TTYINFO* tty) {
        return WaitFor([&] {
            int queued = 0;
            ioctl(tty->os->fd, FIONREAD, &queued);
            return SimPendingBytes(sim_) == 0 && queued == 0;
        });
    }

    std::string link_;
    LOADER_SIM* sim_ = nullptr;
    TTYINFO* tty_ = nullptr;
};

TEST_F(SerialLink, RequestOutAnswerIntoTheResponseBuffer) {
    ASSERT_TRUE(OpenPort(tty_));
    EXPECT_EQ(tty_->connected.load(), 1);
    EXPECT_NE(tty_->reader_thread_id.load(), 0u);

    ArmResponse(tty_, 100);
    std::vector<uint8_t> version = Request("05", "", 1);
    ASSERT_EQ(SendBytes(tty_, version.data(), static_cast<int>(version.size())), 1);
    ASSERT_TRUE(WaitFor([&] { return tty_->response_count.load() == 25; }));

    std::string answer = Collected(tty_);
    EXPECT_EQ(answer.front(), '\n');
    EXPECT_EQ(answer.back(), '\r');
    EXPECT_EQ(answer.substr(10, 2), "83");
    EXPECT_EQ(answer.substr(14, 4), "0102");
    EXPECT_EQ(CheckResponseCrc(tty_->response, 25), 0);
    EXPECT_EQ(tty_->response_complete.load(), 0);  // 25 < 100: evaluated when the countdown ends

    std::vector<SIM_RECEIVED> log = SimLog(sim_);
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].bytes, version);
    EXPECT_TRUE(log[0].crc_ok);
    EXPECT_EQ(log[0].line_rate, 9600u);

    EXPECT_EQ(ClosePort(tty_), 1);
    EXPECT_EQ(tty_->connected.load(), 0);
    EXPECT_EQ(tty_->reader_thread_id.load(), 0u);
    EXPECT_EQ(tty_->os->fd, -1);
    EXPECT_EQ(SendBytes(tty_, version.data(), static_cast<int>(version.size())), 0);
}

TEST_F(SerialLink, CollectionRuleOverTheLine) {
    struct Case {
        const char* name;
        bool arm;
        int expected;
        size_t sent;
        int pieces;
        int gap_ms;
        int want_count;
        bool want_complete;
    } cases[] = {
        {"short answer", true, 100, 30, 1, 0, 30, false},
        {"120 bytes, first 100 kept", true, 100, 120, 1, 0, 100, true},
        {"fresh record", false, 0, 10, 1, 0, 1, true},
        {"more than one 80-byte block", true, 100, 95, 1, 0, 95, false},
        {"split over several events", true, 100, 60, 4, 30, 60, false},
        {"capacity of 150", true, 1000, 200, 2, 5, 150, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TTYINFO* tty = nullptr;
        ASSERT_EQ(InitPortRecord(&tty), 1);  // fresh: response_expected 0
        Point(tty, link_);
        ASSERT_TRUE(OpenPort(tty));
        if (c.arm) ArmResponse(tty, c.expected);
        std::vector<uint8_t> bytes = Pattern(c.sent);
        SimSendRaw(sim_, bytes, c.pieces, c.gap_ms);
        EXPECT_TRUE(WaitFor([&] { return tty->response_count.load() >= c.want_count; }));
        EXPECT_TRUE(Quiet(tty));
        EXPECT_EQ(tty->response_count.load(), c.want_count);
        EXPECT_EQ(tty->response_complete.load() != 0, c.want_complete);
        EXPECT_EQ(0, memcmp(tty->response, bytes.data(), static_cast<size_t>(c.want_count)));
        FreePortRecord(tty);  // closes the port first
    }
}

TEST_F(SerialLink, ClosePortWhileTheDeviceKeepsSending) {
    ASSERT_TRUE(OpenPort(tty_));
    ArmResponse(tty_, 1000);
    SimSetStreaming(sim_, true);
    ASSERT_TRUE(WaitFor([&] { return tty_->response_count.load() == RESPONSE_MAX; }));
    size_t before = SimStreamedCount(sim_);
    ASSERT_TRUE(WaitFor([&] { return SimStreamedCount(sim_) > before + 1000; }));  // still going

    auto start = Clock::now();
    EXPECT_EQ(ClosePort(tty_), 1);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(2));
    EXPECT_EQ(tty_->connected.load(), 0);
    EXPECT_EQ(tty_->reader_thread_id.load(), 0u);
    SimSetStreaming(sim_, false);
    EXPECT_EQ(ClosePort(tty_), 1);  // a second close leaves the idle record alone
}

TEST_F(SerialLink, OpenFailsWithoutTouchingTheRecord) {
    // Another program holding the line: an open with a lock on it.
    int holder = open(SimSlavePath(sim_).c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(flock(holder, LOCK_EX | LOCK_NB), 0);

    const std::string missing = "/tmp/tessmar-no-such-device";
    for (const std::string& path : {missing, link_}) {
        SCOPED_TRACE(path);
        Point(tty_, path);
        EXPECT_FALSE(OpenPort(tty_));
        EXPECT_EQ(tty_->connected.load(), 0);
        EXPECT_EQ(tty_->reader_thread_id.load(), 0u);
        EXPECT_EQ(tty_->os->fd, -1);
        EXPECT_EQ(ClosePort(tty_), 1);
    }
    close(holder);
    EXPECT_TRUE(OpenPort(tty_));
}

TEST_F(SerialLink, SecondRecordCannotShareTheLine) {
    ASSERT_TRUE(OpenPort(tty_));
    TTYINFO* other = nullptr;
    ASSERT_EQ(InitPortRecord(&other), 1);
    Point(other, link_);
    EXPECT_FALSE(OpenPort(other));
    EXPECT_EQ(other->connected.load(), 0);
    FreePortRecord(other);

    // OpenPort on the open record changes nothing and the line still works.
    int fd = tty_->os->fd;
    uint32_t id = tty_->reader_thread_id.load();
    EXPECT_FALSE(OpenPort(tty_));
    EXPECT_EQ(tty_->os->fd, fd);
    EXPECT_EQ(tty_->reader_thread_id.load(), id);
    EXPECT_EQ(tty_->connected.load(), 1);
    ArmResponse(tty_, 100);
    std::vector<uint8_t> capture = Request("40", "", 1);
    SendBytes(tty_, capture.data(), static_cast<int>(capture.size()));
    EXPECT_TRUE(WaitFor([&] { return tty_->response_count.load() == 21; }));
}

TEST_F(SerialLink, LineRateSeenByTheDevice) {
    for (uint32_t rate : {9600u, 38400u, 57600u, 56000u, 14400u, 115200u}) {
        SCOPED_TRACE(rate);
        tty_->baud_rate = rate;
        ASSERT_TRUE(OpenPort(tty_));
        EXPECT_EQ(SimLineRate(sim_), rate);
        ClosePort(tty_);
    }
    // ApplyPortSettings brings a new rate to the open line.
    tty_->baud_rate = 19200;
    ASSERT_TRUE(OpenPort(tty_));
    tty_->baud_rate = 56000;
    EXPECT_TRUE(ApplyPortSettings(tty_));
    EXPECT_EQ(SimLineRate(sim_), 56000u);
    EXPECT_EQ(tty_->connected.load(), 1);
}

TEST_F(SerialLink, LineSettingsReachTheTerminal) {
    // The pty driver forces 8 data bits and no parity; the handshakes, the
    // stop bits and the XON/XOFF characters are what it keeps.
    struct Case {
        uint8_t flow;
        uint8_t stop_bits;
        bool rtscts;
        bool xonxoff;
        bool two_stop;
    } cases[] = {{0, 0, false, false, false},
                 {FLOW_DTRDSR | FLOW_RTSCTS | FLOW_XONXOFF, 2, true, true, true},
                 {FLOW_RTSCTS, 0, true, false, false},
                 {FLOW_XONXOFF, 1, false, true, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.flow));
        tty_->flow_ctrl = c.flow;
        tty_->stop_bits = c.stop_bits;
        ASSERT_TRUE(OpenPort(tty_));
        struct termios t {};
        ASSERT_EQ(tcgetattr(tty_->os->fd, &t), 0);
        EXPECT_EQ((t.c_cflag & CRTSCTS) != 0, c.rtscts);
        EXPECT_EQ((t.c_iflag & (IXON | IXOFF)) == (IXON | IXOFF), c.xonxoff);
        EXPECT_EQ((t.c_cflag & CSTOPB) != 0, c.two_stop);
        EXPECT_EQ(t.c_cc[VSTART], 0x11);
        EXPECT_EQ(t.c_cc[VSTOP], 0x13);
        EXPECT_EQ(t.c_lflag & (ICANON | ECHO), 0u);
        ClosePort(tty_);
    }
}

TEST_F(SerialLink, RejectedSettingsLeaveThePortClosed) {
    struct Case {
        uint8_t byte_size, parity, stop_bits;
    } cases[] = {{9, 0, 0}, {4, 0, 0}, {8, 5, 0}, {8, 0, 3}};
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.byte_size) * 100 + c.parity * 10 + c.stop_bits);
        tty_->byte_size = c.byte_size;
        tty_->parity = c.parity;
        tty_->stop_bits = c.stop_bits;
        EXPECT_FALSE(OpenPort(tty_));
        EXPECT_EQ(tty_->connected.load(), 0);
        EXPECT_EQ(tty_->os->fd, -1);
    }
    // Nothing was left holding the line.
    tty_->byte_size = 8;
    tty_->parity = 3;  // mark
    tty_->stop_bits = 0;
    EXPECT_TRUE(OpenPort(tty_));
}

TEST_F(SerialLink, LineDropThenReconnectAtTheSamePath) {
    ASSERT_TRUE(OpenPort(tty_));
    SIM_FAULT drop;
    drop.kind = SIM_FAULT_DROP_LINE;
    drop.command = 0x41;
    SimAddFault(sim_, drop);
    ArmResponse(tty_, 100);
    std::vector<uint8_t> packet = Request("41", "00" + std::string(40, 'A'), 0);
    SendBytes(tty_, packet.data(), static_cast<int>(packet.size()));
    ASSERT_TRUE(WaitFor([&] { return SimDropCount(sim_) == 1; }));
    EXPECT_EQ(tty_->response_count.load(), 0);

    // The hung-up line neither answers nor keeps the receive thread from ending.
    SendBytes(tty_, packet.data(), static_cast<int>(packet.size()));
    auto start = Clock::now();
    EXPECT_EQ(ClosePort(tty_), 1);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(1));

    ASSERT_TRUE(OpenPort(tty_));  // the link now leads to the new pty
    ArmResponse(tty_, 100);
    SendBytes(tty_, packet.data(), static_cast<int>(packet.size()));
    ASSERT_TRUE(WaitFor([&] { return tty_->response_count.load() == 23; }));
    EXPECT_EQ(Collected(tty_).substr(10, 6), "830100");
    EXPECT_EQ(SimImage(sim_), std::vector<uint8_t>(20, 0xAA));
}

TEST_F(SerialLink, StalledBytesAreGivenUpAndTheLineRecovers) {
    // The device holds the line with XOFF for 2500 ms. A byte that cannot
    // leave is given up after the port's write time-out (2 ms a byte at
    // 9600) or, without one (38400), after the transmitter's 1000 ms.
    struct Case {
        uint32_t rate;
        int min_ms, max_ms;
    } cases[] = {{38400, 1900, 2450}, {9600, 0, 500}};
    SIM_FAULT stall;
    ASSERT_TRUE(SimParseFault("stall=2500,cmd=45,times=0", &stall));
    SimAddFault(sim_, stall);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rate);
        tty_->flow_ctrl = FLOW_XONXOFF;
        tty_->baud_rate = c.rate;
        ASSERT_TRUE(OpenPort(tty_));
        std::vector<uint8_t> reset_vars = Request("45", "", 1);
        SendBytes(tty_, reset_vars.data(), static_cast<int>(reset_vars.size()));
        // XOFF is out and has stopped the line: no room to write.
        ASSERT_TRUE(WaitFor([&] {
            struct pollfd p = {tty_->os->fd, POLLOUT, 0};
            return SimPendingBytes(sim_) == 1 && poll(&p, 1, 0) == 0;
        }));

        const uint8_t two[2] = {'Z', 'Z'};
        auto start = Clock::now();
        EXPECT_EQ(SendBytes(tty_, two, 2), 1);
        auto took = Clock::now() - start;
        EXPECT_GE(took, std::chrono::milliseconds(c.min_ms));
        EXPECT_LT(took, std::chrono::milliseconds(c.max_ms));

        // After XON the line works again.
        ASSERT_TRUE(WaitFor([&] { return SimPendingBytes(sim_) == 0; }));
        ArmResponse(tty_, 100);
        std::vector<uint8_t> version = Request("05", "", 1);
        SendBytes(tty_, version.data(), static_cast<int>(version.size()));
        EXPECT_TRUE(WaitFor([&] { return tty_->response_count.load() == 25; }));
        ClosePort(tty_);
    }
}

TEST(SerialRecord, NullAndIdleRecords) {
    EXPECT_EQ(FreePortRecord(nullptr), 0);
    EXPECT_EQ(MakeDisplayFont(nullptr), 0);
    EXPECT_EQ(ClosePort(nullptr), 0);
    EXPECT_FALSE(OpenPort(nullptr));
    EXPECT_FALSE(ApplyPortSettings(nullptr));
    EXPECT_EQ(TransmitByte(nullptr, 0x41), 0);
    EXPECT_EQ(InitPortRecord(nullptr), -1);

    TTYINFO* tty = nullptr;
    ASSERT_EQ(InitPortRecord(&tty), 1);
    EXPECT_EQ(tty->os->fd, -1);
    EXPECT_FALSE(ApplyPortSettings(tty));  // no open port to apply them to
    EXPECT_EQ(TransmitByte(tty, 0x41), 1);  // lost, as on a closed port
    EXPECT_EQ(ClosePort(tty), 1);
    EXPECT_EQ(FreePortRecord(tty), 1);
}

}  // namespace
