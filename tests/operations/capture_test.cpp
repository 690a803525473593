// Capture, the reset request with the capture after it, the raw reset at
// 38400 bit/s with the capture at 57600, and Go.
#include <vector>

#include "sequencer/capture.h"
#include "tests/operations/ops_fixture.h"

namespace {

const std::string kCaptureFrame = Frame("0000000024001");
const std::string kResetFrame = Frame("0000000022101");

std::string RawReset() {
    return std::string(reinterpret_cast<const char*>(RAW_RESET_BYTES), RAW_RESET_LEN);
}

TEST_F(OpsTest, CaptureShowsItsLineAndTheCapturedLines) {
    tty->baud_rate = 19200;
    const std::string answer = "\n85garbage\r";  // anything at all counts
    fake_port::QueueAnswer(answer);
    DispatchCommand(BTN_CAP, 0);
    RunToStop();
    ASSERT_EQ(fake_port::SentFrames(), std::vector<std::string>{kCaptureFrame});
    EXPECT_EQ(Debug(), "Ln 992: WM_TIMER: ST_Start: BTN_CAP: \r\n" + std::string("len = 11\r\nCRC Failed, 846\r\n") +
                           Echo(answer).substr(10) + "Ln 1404: Captured\r\n");
    EXPECT_EQ(Recv(), Echo(answer) + "Ln 1403: Captured\r\n" + "Ln 1116: ST_RESET\r\n");
    // No raw reset before it: the rate stays.
    EXPECT_EQ(fake_port::OpenBaudRates(), std::vector<uint32_t>{19200});
}

TEST_F(OpsTest, ResetRequestHandsOverToTheCaptureAfter200Ticks) {
    g_seq.total_fail = 3;
    g_seq.reset3856 = 1;
    fake_port::QueueAnswer(Answer("83"));
    fake_port::QueueAnswer(Answer("83"));
    DispatchCommand(BTN_RESETCMD, 0);
    EXPECT_EQ(g_seq.reset3856, 0);

    headless::Tick(1);
    EXPECT_EQ(fake_port::SentFrames(), std::vector<std::string>{kResetFrame});
    EXPECT_EQ(g_seq.cur_cmd, ID_RESET_RSVP);
    EXPECT_EQ(g_seq.total_fail, 0);

    headless::Tick(200);  // the countdown
    EXPECT_EQ(g_seq.seq_state, ST_RECV);
    headless::Tick(1);  // evaluated as ID_RESET_RSVP
    EXPECT_NE(Debug().find("Ln 1409: Reset Rsvp\r\n"), std::string::npos);
    EXPECT_NE(Recv().find("Ln 1408: Reset Rsvp\r\n"), std::string::npos);
    EXPECT_EQ(g_seq.cur_cmd, BTN_CAP);
    EXPECT_EQ(fake_port::SentFrames().size(), 1u);

    headless::Tick(1);  // the capture, on the same open port
    EXPECT_EQ(fake_port::SentFrames(), (std::vector<std::string>{kResetFrame, kCaptureFrame}));
    RunToStop();
    EXPECT_EQ(Debug().find("Reset Rsvp"), std::string::npos);  // wiped by the capture's start
    EXPECT_EQ(Debug().rfind("Ln 992: WM_TIMER: ST_Start: BTN_CAP: \r\n", 0), 0u);
    EXPECT_NE(Debug().find("Ln 1404: Captured\r\n"), std::string::npos);
    EXPECT_EQ(fake_port::SuccessfulOpens(), 1);
}

TEST_F(OpsTest, UnansweredResetRequestCapturesNothing) {
    fake_port::QueueAnswer("");
    DispatchCommand(BTN_RESETCMD, 0);
    int ticks = RunToStop();
    EXPECT_EQ(ticks, 1 + 200 + 1 + 1);  // send, countdown, evaluation, stop
    EXPECT_EQ(fake_port::SentFrames().size(), 1u);
    EXPECT_EQ(Debug(), "Ln 1065: WM_TIMER ST_RECV: No Response ERROR\r\n");
}

TEST_F(OpsTest, RawResetAt38400ThenCaptureAt57600) {
    tty->baud_rate = 9600;
    DispatchCommand(BTN_RESET3856, 0);
    EXPECT_EQ(fake_port::OpenBaudRates(), std::vector<uint32_t>{38400});

    headless::Tick(1);
    EXPECT_EQ(fake_port::SentText(), RawReset());  // no LF, no CR, nothing framed
    EXPECT_EQ(g_seq.cur_cmd, BTN_CAP);
    fake_port::Deliver("\x55");
    headless::Tick(2);
    EXPECT_EQ(g_seq.seq_state, ST_RECV);
    headless::Tick(1);  // the 3rd tick after the send: evaluated as a capture
    EXPECT_NE(Recv().find("Ln 1403: Captured\r\n"), std::string::npos);
    RunToStop();
    EXPECT_EQ(tty->baud_rate, 38400u);
    EXPECT_EQ(g_seq.reset3856, 1);

    // "Capture": opened at 38400, then closed, 57600 and opened again in the
    // first tick, before the request goes out.
    fake_port::ClearSent();
    fake_port::QueueAnswer(Answer("83"));
    DispatchCommand(BTN_CAP, 0);
    headless::Tick(1);
    EXPECT_EQ(fake_port::OpenBaudRates(), (std::vector<uint32_t>{38400, 38400, 57600}));
    EXPECT_EQ(fake_port::SentFrames(), std::vector<std::string>{kCaptureFrame});
    EXPECT_EQ(g_seq.reset3856, 0);
    RunToStop();
    EXPECT_NE(Debug().find("Ln 1404: Captured\r\n"), std::string::npos);
    EXPECT_EQ(tty->baud_rate, 57600u);
}

TEST_F(OpsTest, FailedReopenAt57600ThenTheNextCaptureOpensAt57600) {
    g_seq.reset3856 = 1;
    fake_port::QueueOpenResults({true, false});
    DispatchCommand(BTN_CAP, 0);
    RunToStop();
    EXPECT_EQ(fake_port::SentFrames().size(), 0u);  // the port was closed
    EXPECT_EQ(Recv(), "\r\nLn 986: Failed to Open Connection" "Ln 1116: ST_RESET\r\n");
    EXPECT_EQ(Debug(), "Ln 992: WM_TIMER: ST_Start: BTN_CAP: \r\n"
                       "Ln 1065: WM_TIMER ST_RECV: No Response ERROR\r\n");
    EXPECT_EQ(g_seq.reset3856, 0);

    fake_port::QueueAnswer(Answer("83"));
    DispatchCommand(BTN_CAP, 0);
    RunToStop();
    EXPECT_EQ(fake_port::OpenBaudRates(), (std::vector<uint32_t>{9600, 57600, 57600}));
    EXPECT_EQ(fake_port::SentFrames(), std::vector<std::string>{kCaptureFrame});
}

TEST_F(OpsTest, ResetRequestAfterRawResetStaysAt38400) {
    DispatchCommand(BTN_RESET3856, 0);
    RunToStop();  // unanswered
    fake_port::ClearSent();
    fake_port::QueueAnswer(Answer("83"));
    fake_port::QueueAnswer(Answer("83"));
    DispatchCommand(BTN_RESETCMD, 0);
    RunToStop();
    EXPECT_EQ(fake_port::SentFrames(), (std::vector<std::string>{kResetFrame, kCaptureFrame}));
    EXPECT_EQ(fake_port::OpenBaudRates(), (std::vector<uint32_t>{38400, 38400}));
}

TEST_F(OpsTest, RawResetDuringARunStartsAFreshOne) {
    fake_port::QueueAnswer("");
    DispatchCommand(BTN_VERSION, 0);
    headless::Tick(2);
    DispatchCommand(BTN_RESET3856, 0);
    EXPECT_EQ(fake_port::CloseCount(), 1);
    EXPECT_EQ(fake_port::SuccessfulOpens(), 2);
    headless::Tick(1);
    EXPECT_EQ(fake_port::SentText().substr(fake_port::SentText().size() - RAW_RESET_LEN), RawReset());
}

}  // namespace
