// The sequencer driven tick by tick on the headless host and the fake port.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "app/commands.h"
#include "app/host.h"
#include "resources/resource_ids.h"
#include "sequencer/seqinfo.h"
#include "sequencer/sequencer.h"
#include "serial/port.h"
#include "store/paths.h"
#include "store/store.h"
#include "tests/support/fake_port.h"
#include "tests/support/host_headless.h"

namespace {

const char kVersionFrame[] = "\n00000000205010141E0\r";
const char kNoResponse[] = "Ln 1065: WM_TIMER ST_RECV: No Response ERROR\r\n";
const char kStop[] = "Ln 1116: ST_RESET\r\n";
const char kNoBuilder[] =
    "Ln 1002: WM_TIMER: ST_Start: default (error)\r\n"
    "Ln 1007: WM_TIMER: ST_Start: default (error)\r\n";

// A 21-byte answer without data: LF, 19 characters, CR.
std::string ShortAnswer() { return "\n" + std::string(19, '0') + "\r"; }

class SequencerTest : public ::testing::Test {
protected:
    void SetUp() override {
        headless::Reset();
        fake_port::Reset();
        InitSeqInfo();
        ASSERT_EQ(InitPortRecord(&tty_), 1);
        HostSetPortRecord(tty_);
    }
    void TearDown() override {
        HostSetPortRecord(nullptr);
        FreePortRecord(tty_);
    }

    // A new record and a clean host for the next case of a table.
    void Fresh() {
        TearDown();
        SetUp();
    }

    // Starts `id` the way every starter does: cur_cmd, then BTN_SEND.
    void Start(int32_t id) {
        g_seq.cur_cmd = id;
        StartOperation(0);
    }

    // Ticks one at a time until the Recv pane holds `text`; returns the
    // number of ticks run, or -1 when the limit passed first.
    int TicksUntilRecvHas(const std::string& text, int limit = 400) {
        for (int i = 1; i <= limit; ++i) {
            if (headless::Tick() == 0) return -1;
            if (headless::Pane(EDIT_RECV).find(text) != std::string::npos) return i;
        }
        return -1;
    }

    TTYINFO* tty_ = nullptr;
};

TEST_F(SequencerTest, VersionIsSentOnFirstTickAndEvaluatedOnFifthAfter) {
    fake_port::QueueAnswer(ShortAnswer());
    Start(BTN_VERSION);
    EXPECT_TRUE(headless::TimerRunning());
    EXPECT_EQ(g_seq.seq_state, ST_START);
    EXPECT_TRUE(fake_port::Sent().empty());

    ASSERT_EQ(headless::Tick(), 1);
    EXPECT_EQ(fake_port::SentText(), kVersionFrame);
    EXPECT_EQ(g_seq.seq_state, ST_RECV);

    headless::Tick(4);
    EXPECT_EQ(headless::Pane(EDIT_RECV), "") << "evaluated before the countdown ran out";
    headless::Tick();
    EXPECT_EQ(headless::Pane(EDIT_RECV).rfind("len = 21\r\n", 0), 0u);
    EXPECT_EQ(g_seq.seq_state, ST_RESET);
    EXPECT_TRUE(tty_->connected.load());

    // The stop tick.
    const std::string before = headless::Pane(EDIT_RECV);
    headless::Tick();
    EXPECT_EQ(headless::Pane(EDIT_RECV), before + kStop);
    EXPECT_FALSE(headless::TimerRunning());
    EXPECT_FALSE(tty_->connected.load());
    EXPECT_EQ(fake_port::CloseCount(), 1);
    EXPECT_EQ(fake_port::SentFrames().size(), 1u);
}

// Only a response that reaches the expected 100 bytes cuts the wait short.
TEST_F(SequencerTest, HundredByteAnswerEndsTheWaitEarly) {
    const struct {
        int length;
        int ticks_after_send;
        const char* len_line;
    } cases[] = {
        {21, 5, "len = 21\r\n"},
        {99, 5, "len = 99\r\n"},
        {100, 1, "len = 100\r\n"},
        {120, 1, "len = 100\r\n"},  // the bytes past 100 are dropped
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.length);
        Fresh();
        fake_port::QueueAnswer(std::string(static_cast<size_t>(c.length), 'A'));
        Start(BTN_VERSION);
        ASSERT_EQ(headless::Tick(), 1);
        EXPECT_EQ(TicksUntilRecvHas("len = "), c.ticks_after_send);
        EXPECT_EQ(headless::Pane(EDIT_RECV).rfind(c.len_line, 0), 0u);
    }
}

TEST_F(SequencerTest, StartEmptiesThePanesAndArmsTheResponse) {
    Start(BTN_VERSION);
    headless::SetPane(EDIT_RECV, "old recv");
    headless::SetPane(EDIT_DEBUG, "Capture: \r\nbanner");
    headless::SetPane(EDIT_PROGRESS, "51.20 %\r\n");
    // Left-overs of an earlier response.
    tty_->response_count.store(7);
    tty_->response_expected.store(3);
    tty_->response_complete.store(1);

    headless::Tick();
    EXPECT_EQ(headless::Pane(EDIT_RECV), "");
    EXPECT_EQ(headless::Pane(EDIT_DEBUG), "");
    EXPECT_EQ(headless::Pane(EDIT_PROGRESS), "");
    EXPECT_EQ(tty_->response_count.load(), 0);
    EXPECT_EQ(tty_->response_expected.load(), 100);
    EXPECT_EQ(tty_->response_complete.load(), 0);
    EXPECT_EQ(tty_->wait_ticks, 4);
}

TEST_F(SequencerTest, UnansweredRequestReportsNoResponseAndStops) {
    for (int32_t id : {BTN_VERSION, IDM_SEND_ONE_WRITE}) {
        SCOPED_TRACE(id);
        Fresh();
        Start(BTN_VERSION);
        headless::Tick(5);
        // The answer is evaluated under whatever cur_cmd is by then.
        g_seq.cur_cmd = id;
        headless::Tick();
        EXPECT_EQ(headless::Pane(EDIT_DEBUG), kNoResponse);
        EXPECT_EQ(g_seq.seq_state, ST_RESET);
        EXPECT_EQ(g_seq.fail_count, 0);
        headless::Tick();
        EXPECT_EQ(headless::Pane(EDIT_RECV), kStop);
        EXPECT_FALSE(headless::TimerRunning());
        EXPECT_FALSE(tty_->connected.load());
    }
}

// 0 before any operation, BTN_FIND after "Find Enc File", and any id that
// no row of the operation table holds.
TEST_F(SequencerTest, IdWithoutBuilderStopsFiveTicksLater) {
    for (int32_t id : {0, BTN_FIND, 12345}) {
        SCOPED_TRACE(id);
        Fresh();
        Start(id);
        headless::Tick();
        EXPECT_EQ(headless::Pane(EDIT_RECV), kNoBuilder);
        EXPECT_TRUE(fake_port::Sent().empty());
        EXPECT_EQ(g_seq.seq_state, ST_RESET);
        headless::Tick(4);
        EXPECT_EQ(headless::Pane(EDIT_RECV), kNoBuilder);
        EXPECT_TRUE(headless::TimerRunning());
        headless::Tick();
        EXPECT_EQ(headless::Pane(EDIT_RECV), std::string(kNoBuilder) + kStop);
        EXPECT_FALSE(headless::TimerRunning());
        EXPECT_FALSE(tty_->connected.load());
    }
}

TEST_F(SequencerTest, SendWithPortOpenOnlyBlanksTheRecvPane) {
    ASSERT_TRUE(OpenPort(tty_));
    headless::SetPane(EDIT_RECV, "something");
    headless::SetPane(EDIT_DEBUG, "debug");
    g_seq.seq_state = ST_RECV;
    tty_->wait_ticks = 3;

    Start(BTN_VERSION);
    EXPECT_EQ(headless::Pane(EDIT_RECV), " ");
    EXPECT_EQ(headless::Pane(EDIT_DEBUG), "debug");
    EXPECT_EQ(headless::TimerStarts(), 0);
    EXPECT_EQ(fake_port::OpenCount(), 1);
    EXPECT_EQ(g_seq.seq_state, ST_RECV);
    EXPECT_EQ(tty_->wait_ticks, 3);
    EXPECT_TRUE(headless::MessageBoxes().empty());
}

TEST_F(SequencerTest, SendRefusals) {
    const char kOld[] = "old";
    // A notification other than BN_CLICKED.
    headless::SetPane(EDIT_DEBUG, kOld);
    headless::SetPane(EDIT_RECV, kOld);
    StartOperation(1);
    EXPECT_EQ(headless::Pane(EDIT_DEBUG), std::string("WM_COMMAND: Error, BTN_SEND - not BN_CLICKED\r\n") + kOld);
    EXPECT_EQ(headless::Pane(EDIT_RECV), kOld);

    // No port record.
    HostSetPortRecord(nullptr);
    headless::SetPane(EDIT_DEBUG, kOld);
    StartOperation(0);
    EXPECT_EQ(headless::Pane(EDIT_DEBUG), std::string("WM_COMMAND: Error, GETNPTTYINFO\r\n") + kOld);
    EXPECT_EQ(headless::Pane(EDIT_RECV), kOld);

    EXPECT_EQ(fake_port::OpenCount(), 0);
    EXPECT_EQ(headless::TimerStarts(), 0);
    EXPECT_EQ(g_seq.seq_state, ST_RESET);
}

TEST_F(SequencerTest, FailedOpenShowsConnectionFailedAndStartsNothing) {
    fake_port::SetDefaultOpenResult(false);
    Start(BTN_VERSION);
    ASSERT_EQ(headless::MessageBoxes().size(), 1u);
    EXPECT_EQ(headless::MessageBoxes()[0], "Connection failed.");
    EXPECT_EQ(headless::Pane(EDIT_RECV), " ");
    EXPECT_FALSE(headless::TimerRunning());
    EXPECT_EQ(g_seq.seq_state, ST_RESET);
    EXPECT_FALSE(tty_->connected.load());
}

// A suspended run keeps its state, its countdown and its open port; bytes
// that arrive meanwhile are collected and evaluated once ticking resumes.
TEST_F(SequencerTest, TimerStopAndStartResumeWhereTheRunStood) {
    Start(BTN_VERSION);
    headless::Tick(3);  // the send, then the countdown from 4 to 2
    ASSERT_EQ(g_seq.seq_state, ST_RECV);
    ASSERT_EQ(tty_->wait_ticks, 2);

    DispatchCommand(IDM_TIMER_STOP, 0);
    EXPECT_EQ(headless::Tick(10), 0);
    EXPECT_TRUE(tty_->connected.load());
    EXPECT_EQ(fake_port::Deliver(ShortAnswer()), 21);

    DispatchCommand(IDM_TIMER_START, 0);
    EXPECT_TRUE(headless::TimerRunning());
    EXPECT_EQ(g_seq.seq_state, ST_RECV);
    EXPECT_EQ(tty_->wait_ticks, 2);
    EXPECT_EQ(TicksUntilRecvHas("len = 21\r\n"), 3);
}

TEST_F(SequencerTest, TickWhileIdleRunsTheStop) {
    DispatchCommand(IDM_TIMER_START, 0);
    headless::Tick();
    EXPECT_EQ(headless::Pane(EDIT_RECV), kStop);
    EXPECT_FALSE(headless::TimerRunning());
    EXPECT_EQ(fake_port::CloseCount(), 0);
    EXPECT_EQ(g_seq.seq_state, ST_RESET);
}

TEST_F(SequencerTest, UnknownStateIsHandledAsTheStop) {
    ASSERT_TRUE(OpenPort(tty_));
    HostStartTimer();
    g_seq.seq_state = 7;
    headless::Tick();
    EXPECT_EQ(headless::Pane(EDIT_RECV), kStop);
    EXPECT_EQ(g_seq.seq_state, ST_RESET);
    EXPECT_FALSE(tty_->connected.load());
}

TEST_F(SequencerTest, OtherTimersAndMissingRecordDoNothing) {
    Start(BTN_VERSION);
    SequencerTick(TIMER_SEQ + 1);
    EXPECT_EQ(g_seq.seq_state, ST_START);
    EXPECT_TRUE(fake_port::Sent().empty());

    HostSetPortRecord(nullptr);
    SequencerTick(TIMER_SEQ);
    EXPECT_EQ(g_seq.seq_state, ST_RESET);
    EXPECT_TRUE(fake_port::Sent().empty());
    HostSetPortRecord(tty_);
}

// The rule for an unanswered write packet of the upgrade: resend at once
// below MAXFAIL consecutive failures, then pause, and give up after the
// tenth pause.
TEST_F(SequencerTest, UnansweredWritePacketRule) {
    const struct {
        int32_t fail_before, total_before;
        int32_t state_after, fail_after, total_after;
    } cases[] = {
        {0, 0, ST_START, 1, 0},
        {3, 0, ST_START, 4, 0},
        {4, 0, ST_WAIT, 5, 1},   // the fifth: first pause
        {7, 5, ST_WAIT, 8, 6},   // a pause does not reset fail_count
        {5, 9, ST_WAIT, 6, 10},  // the tenth pause is still taken
        {5, 10, ST_RESET, 6, 11},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fail_before * 100 + c.total_before);
        Fresh();
        ASSERT_TRUE(OpenPort(tty_));
        HostStartTimer();
        g_seq.cur_cmd = ID_FWUG_INPROCESS;
        g_seq.seq_state = ST_RECV;
        g_seq.fail_count = c.fail_before;
        g_seq.total_fail = c.total_before;
        headless::Tick();
        EXPECT_EQ(headless::Pane(EDIT_DEBUG), "Ln 1028: WM_TIMER: ST_RECV: ID_FWUG_INPROCESS ERROR\r\n");
        EXPECT_EQ(g_seq.seq_state, c.state_after);
        EXPECT_EQ(g_seq.fail_count, c.fail_after);
        EXPECT_EQ(g_seq.total_fail, c.total_after);
    }
}

TEST_F(SequencerTest, PauseTakesTheWaitTickAndElevenPauseTicks) {
    ASSERT_TRUE(OpenPort(tty_));
    HostStartTimer();
    g_seq.seq_state = ST_WAIT;
    g_seq.wait_count = 99;
    headless::Tick();
    EXPECT_EQ(g_seq.seq_state, ST_PAUSE);
    EXPECT_EQ(g_seq.wait_count, 0);
    headless::Tick(10);
    EXPECT_EQ(g_seq.seq_state, ST_PAUSE);
    headless::Tick();
    EXPECT_EQ(g_seq.seq_state, ST_START);
    EXPECT_EQ(g_seq.wait_count, 11);
    // The resend happens on the tick after.
    g_seq.cur_cmd = BTN_VERSION;
    headless::Tick();
    EXPECT_EQ(fake_port::SentText(), kVersionFrame);
}

}  // namespace

namespace {

// The trace lines, read back from a trace log made for the test (the log is
// written only when its file exists).
class SequencerTraceTest : public SequencerTest {
protected:
    void SetUp() override {
#ifdef _WIN32
        GTEST_SKIP() << "the trace log sits at a fixed place on drive c: that other tests share";
#else
        StoreSetDriveRoot((testing::TempDir() + "sequencer_drive_c").c_str());
        std::filesystem::path log = TraceFilePath();
        std::filesystem::create_directories(log.parent_path());
        std::ofstream(log, std::ios::trunc).close();
        SequencerTest::SetUp();
#endif
    }
    void TearDown() override {
#ifndef _WIN32
        SequencerTest::TearDown();
        std::filesystem::remove(TraceFilePath());
#endif
    }

    static std::string TakeTrace() {
        std::ifstream in(TraceFilePath(), std::ios::binary);
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        in.close();
        std::ofstream(TraceFilePath(), std::ios::trunc).close();
        return text;
    }
};

TEST_F(SequencerTraceTest, StatesOfARunAreTraced) {
    Start(BTN_VERSION);
    headless::Tick(7);
    EXPECT_FALSE(headless::TimerRunning());
    EXPECT_EQ(TakeTrace(), "ST_START\nST_RECV\n");

    // Switched off, nothing is written.
    g_seq.log_to_file = 0;
    Start(BTN_VERSION);
    headless::Tick(7);
    EXPECT_EQ(TakeTrace(), "");
}

TEST_F(SequencerTraceTest, UnansweredWritePacketLines) {
    const struct {
        int32_t fail_before, total_before;
        const char* trace;
    } cases[] = {
        {0, 0, "ST_RECV\nLn 1033: ST_START\n"},
        {4, 0, "ST_RECV\nLn 1054: ST_WAIT\n"},
        {4, 10, "ST_RECV\nLn 1045: ST_RESET\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fail_before * 100 + c.total_before);
        ASSERT_TRUE(OpenPort(tty_));
        HostStartTimer();
        g_seq.cur_cmd = ID_FWUG_INPROCESS;
        g_seq.seq_state = ST_RECV;
        g_seq.fail_count = c.fail_before;
        g_seq.total_fail = c.total_before;
        headless::Tick();
        EXPECT_EQ(TakeTrace(), c.trace);
        ClosePort(tty_);
    }
}

}  // namespace

namespace {

// The countdown of each kind of request, with the operations of the table:
// the handler after a send runs on the (countdown + 1)-th tick.
class SequencerTimingTest : public SequencerTest {
protected:
    void SetUp() override {
        SequencerTest::SetUp();
        std::ofstream(kImage, std::ios::binary | std::ios::trunc) << std::string(40, '\x5A');
        std::strcpy(g_seq.enc_path, kImage);
        g_seq.file_size = 40;
    }
    void TearDown() override {
        SequencerTest::TearDown();
        std::filesystem::remove(kImage);
    }
    static constexpr const char* kImage = "sequencer_image.enc";
};

TEST_F(SequencerTimingTest, EvaluationTickOfEachCountdown) {
    const struct {
        int32_t id;
        int32_t reset3856;
        int ticks_after_send;
    } cases[] = {
        {BTN_VERSION, 0, 5},
        {IDM_GET_BL_ATTR, 0, 5},
        {ID_FWUG_INPROCESS, 0, 21},
        {IDM_SEND_ONE_WRITE, 0, 21},
        {BTN_RESETCMD, 0, 201},
        {BTN_RESET3856, 1, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.id);
        Fresh();
        g_seq.reset3856 = c.reset3856;
        Start(c.id);
        ASSERT_EQ(headless::Tick(), 1);
        ASSERT_FALSE(fake_port::Sent().empty());
        fake_port::Deliver(ShortAnswer());
        EXPECT_EQ(TicksUntilRecvHas("len = 21\r\n"), c.ticks_after_send);
    }
}

// With both counters at 0, a write packet that is never answered goes out
// 15 times: the first send, four at once, then ten each after a pause.
TEST_F(SequencerTimingTest, NeverAnsweredWritePacketIsSentFifteenTimes) {
    Start(ID_FWUG_INPROCESS);
    const int ticks = headless::TickUntilStopped(2000);
    EXPECT_FALSE(headless::TimerRunning());
    const auto& frames = fake_port::SentFrames();
    ASSERT_EQ(frames.size(), 15u);
    for (const std::string& f : frames) EXPECT_EQ(f, frames[0]);
    EXPECT_EQ(g_seq.fail_count, 15);
    EXPECT_EQ(g_seq.total_fail, 11);
    EXPECT_EQ(g_seq.file_offset, 0);
    EXPECT_FALSE(tty_->connected.load());
    // 15 cycles of send, 20 ticks and evaluation; ten pauses of 12 ticks;
    // the stop tick.
    EXPECT_EQ(ticks, 15 * 22 + 10 * 12 + 1);
}

}  // namespace
