// The command dispatcher as a user meets it: menu items, buttons and
// accelerators on the headless host, with the fake port underneath.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "app/commands.h"
#include "app/host.h"
#include "protocol/memory_requests.h"
#include "resources/resource_ids.h"
#include "sequencer/seqinfo.h"
#include "serial/port.h"
#include "store/paths.h"
#include "store/store.h"
#include "tests/support/fake_port.h"
#include "tests/support/host_headless.h"

namespace {

const char kNoBuilder[] =
    "Ln 1002: WM_TIMER: ST_Start: default (error)\r\n"
    "Ln 1007: WM_TIMER: ST_Start: default (error)\r\n";
const char kStop[] = "Ln 1116: ST_RESET\r\n";

class CommandsTest : public ::testing::Test {
protected:
    void SetUp() override {
        headless::Reset();
        fake_port::Reset();
        InitSeqInfo();
        DialogResult[0] = '\0';
        ASSERT_EQ(InitPortRecord(&tty_), 1);
        HostSetPortRecord(tty_);
    }
    void TearDown() override {
        HostSetPortRecord(nullptr);
        FreePortRecord(tty_);
    }
    void Fresh() {
        TearDown();
        SetUp();
    }

    void SetPanes(const char* text) {
        for (int pane : {EDIT_RECV, EDIT_DEBUG, EDIT_PROGRESS}) headless::SetPane(pane, text);
    }

    // Answers the next parameter dialog through its accept rule.
    static void AnswerDialogs(const char* first, const char* second) {
        const std::string a = first, b = second;
        headless::OnParamDialog([a, b](int dialog_id) {
            if (dialog_id == IDD_READ_DATA) AcceptReadData(a.c_str(), b.c_str());
            if (dialog_id == IDD_READ_E2) AcceptReadE2(a.c_str(), b.c_str());
            if (dialog_id == IDD_WRITE_DATA) AcceptWriteData(a.c_str(), b.c_str());
        });
    }

    TTYINFO* tty_ = nullptr;
};

TEST_F(CommandsTest, ClearCommands) {
    const struct {
        int id;
        const char *recv, *debug, *progress;
    } cases[] = {
        {IDM_CLEAR_RECV, " ", "x", "x"},
        {IDM_CLEAR_DEBUG, "x", " ", "x"},
        {IDM_CLEAR_ALL, "", "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.id);
        SetPanes("x");
        EXPECT_EQ(DispatchCommand(c.id, 0), 0);
        EXPECT_EQ(headless::Pane(EDIT_RECV), c.recv);
        EXPECT_EQ(headless::Pane(EDIT_DEBUG), c.debug);
        EXPECT_EQ(headless::Pane(EDIT_PROGRESS), c.progress);
    }
    // Text appended after a clear begins with the blank.
    DispatchCommand(IDM_CLEAR_RECV, 0);
    PaneAppend(EDIT_RECV, "len = 3\r\n");
    EXPECT_EQ(headless::Pane(EDIT_RECV), " len = 3\r\n");
}

// Abort Capture has no handler; neither have the edit controls'
// notifications nor ids that name no command.
TEST_F(CommandsTest, UnhandledIdsChangeNothing) {
    for (int id : {IDM_ABORT_CAPTURE, EDIT_RECV, EDIT_DEST, 0, 0x7FFF}) {
        SCOPED_TRACE(id);
        SetPanes("x");
        g_seq.cur_cmd = 42;
        EXPECT_EQ(DispatchCommand(id, 0), 0);
        EXPECT_EQ(DispatchCommand(id, 0x0300), 0);  // EN_CHANGE
        for (int pane : {EDIT_RECV, EDIT_DEBUG, EDIT_PROGRESS}) EXPECT_EQ(headless::Pane(pane), "x");
        EXPECT_EQ(g_seq.cur_cmd, 42);
    }
    EXPECT_EQ(fake_port::OpenCount(), 0);
    EXPECT_FALSE(headless::TimerRunning());
    EXPECT_TRUE(headless::MessageBoxes().empty());
    EXPECT_TRUE(headless::DialogsOpened().empty());
}

TEST_F(CommandsTest, FindEncFileSetsPanesEvenWhenCancelled) {
    SetPanes("x");
    headless::QueueFileChoice("");  // Cancel
    DispatchCommand(BTN_FIND, 0);
    EXPECT_EQ(headless::Pane(EDIT_DEBUG), "BTN_FIND");
    EXPECT_EQ(headless::Pane(EDIT_RECV), "BTN_FIND\r\n");
    EXPECT_EQ(g_seq.cur_cmd, BTN_FIND);
    EXPECT_EQ(fake_port::OpenCount(), 0);
    EXPECT_FALSE(headless::TimerRunning());

    // Any notification but a click is ignored.
    SetPanes("x");
    g_seq.cur_cmd = 0;
    DispatchCommand(BTN_FIND, 1);
    EXPECT_EQ(headless::Pane(EDIT_DEBUG), "x");
    EXPECT_EQ(g_seq.cur_cmd, 0);
}

TEST_F(CommandsTest, PopDebugOnEmptyQueueLeavesALineEnd) {
    TraceQueueReset();
    headless::SetPane(EDIT_DEBUG, "old");
    DispatchCommand(IDM_POP_DEBUG, 0);
    EXPECT_EQ(headless::Pane(EDIT_DEBUG), "\r\n");
}

TEST_F(CommandsTest, ExitAndAbout) {
    DispatchCommand(IDM_EXIT, 0);
    EXPECT_EQ(headless::ClosePosted(), 1);
    EXPECT_EQ(headless::AboutShown(), 0);
    DispatchCommand(IDM_ABOUT, 0);
    EXPECT_EQ(headless::AboutShown(), 1);
    EXPECT_EQ(headless::DialogsOpened(), std::vector<int>{IDD_ABOUT});
}

class SettingsTest : public CommandsTest {
protected:
    void SetUp() override {
        CommandsTest::SetUp();
#ifndef _WIN32
        // The profile of these tests lives in the test temp folder.
        StoreSetDriveRoot((testing::TempDir() + "settings_drive_c").c_str());
#endif
        std::remove(PortFilePath());
    }
    void TearDown() override {
        std::remove(PortFilePath());
        CommandsTest::TearDown();
    }

    // What the next start-up would read back.
    static void Restored(int* port, unsigned* baud) {
        TTYINFO* fresh = nullptr;
        ASSERT_EQ(InitPortRecord(&fresh), 1);
        RestorePortNumber(fresh);
        RestoreBaudRate(fresh);
        *port = fresh->port_number;
        *baud = fresh->baud_rate;
        FreePortRecord(fresh);
    }
};

// How the dialog ends is not examined: Cancel stores the record too.
TEST_F(SettingsTest, DialogAlwaysStoresPortAndBaud) {
    headless::OnSettingsDialog([](TTYINFO* tty) {
        tty->port_number = 3;
        tty->baud_rate = 19200;
    });
    DispatchCommand(IDM_SETTINGS, 0);
    EXPECT_EQ(headless::DialogsOpened(), std::vector<int>{IDD_SETTINGS});
    int port = 0;
    unsigned baud = 0;
    Restored(&port, &baud);
    EXPECT_EQ(port, 3);
#ifndef _WIN32
    // Under Wine the profile is the prefix's win.ini, which tests running
    // beside this one write too.
    EXPECT_EQ(baud, 19200u);
#endif
    EXPECT_EQ(fake_port::ApplyCount(), 0) << "nothing to apply to a closed port";
    EXPECT_TRUE(headless::MessageBoxes().empty());
}

TEST_F(SettingsTest, OpenPortGetsTheSettingsOrSettingsFailed) {
    for (bool ok : {true, false}) {
        SCOPED_TRACE(ok);
        Fresh();
        ASSERT_TRUE(OpenPort(tty_));
        fake_port::SetApplyResult(ok);
        DispatchCommand(IDM_SETTINGS, 0);
        EXPECT_EQ(fake_port::ApplyCount(), 1);
        if (ok) {
            EXPECT_TRUE(headless::MessageBoxes().empty());
        } else {
            ASSERT_EQ(headless::MessageBoxes().size(), 1u);
            EXPECT_EQ(headless::MessageBoxes()[0], "Settings failed!");
        }
        EXPECT_TRUE(tty_->connected.load());
    }
}

TEST_F(CommandsTest, ConnectTwiceKeepsTheFirstPortOpen) {
    DispatchCommand(IDM_CONNECT, 1);  // Shift+Page Up
    EXPECT_TRUE(tty_->connected.load());
    EXPECT_TRUE(headless::MessageBoxes().empty());
    EXPECT_FALSE(headless::TimerRunning());

    DispatchCommand(IDM_CONNECT, 1);
    ASSERT_EQ(headless::MessageBoxes().size(), 1u);
    EXPECT_EQ(headless::MessageBoxes()[0], "Connection failed.");
    EXPECT_TRUE(tty_->connected.load());
    EXPECT_EQ(fake_port::CloseCount(), 0);
    EXPECT_EQ(fake_port::SuccessfulOpens(), 1);

    DispatchCommand(IDM_DISCONNECT, 1);
    EXPECT_FALSE(tty_->connected.load());
    DispatchCommand(IDM_DISCONNECT, 1);  // already closed: harmless
    EXPECT_EQ(fake_port::CloseCount(), 1);
}

TEST_F(CommandsTest, ConnectThatCannotOpenReportsIt) {
    fake_port::SetDefaultOpenResult(false);
    DispatchCommand(IDM_CONNECT, 1);
    EXPECT_EQ(headless::MessageBoxes(), std::vector<std::string>{"Connection failed."});
    EXPECT_FALSE(tty_->connected.load());
}

// With the port held open by hand, a request command does its preparation,
// sets cur_cmd and blanks the Recv pane, but starts no run. Reset 38->56
// closes the port first and so does start one.
TEST_F(CommandsTest, AfterConnectOnlyReset3856StartsARun) {
    const struct {
        int id;
        int32_t cur_cmd;
    } cases[] = {
        {BTN_VERSION, BTN_VERSION},
        {BTN_RESETCMD, BTN_RESETCMD},
        {BTN_CAP, BTN_CAP},
        {BTN_GO, BTN_GO},
        {IDM_BL_GET_CRC, IDM_BL_GET_CRC},
        {IDM_APP_RESET, IDM_APP_RESET},
        {IDM_READ_FLASH, IDM_READ_FLASH},
        {IDM_RESET_FLASH_VARS, IDM_RESET_FLASH_VARS},
        {IDM_SEND_ONE_WRITE, IDM_SEND_ONE_WRITE},
        {IDM_GET_SEQ_NUM, IDM_GET_SEQ_NUM},
        {IDM_GET_BL_ATTR, IDM_GET_BL_ATTR},
        {IDM_CONTINUE_FWUG, 0},
        {IDM_READ_EEPROM, IDM_READ_EEPROM},
        {IDM_WRITE_EEPROM, IDM_WRITE_EEPROM},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.id);
        Fresh();
        DispatchCommand(IDM_CONNECT, 1);
        ASSERT_TRUE(tty_->connected.load());
        if (c.id == IDM_READ_FLASH) AnswerDialogs("00002000", "0004");
        if (c.id == IDM_READ_EEPROM) AnswerDialogs("3D", "01");
        if (c.id == IDM_WRITE_EEPROM) AnswerDialogs("3D", "55");
        headless::SetPane(EDIT_RECV, "x");
        DispatchCommand(c.id, 0);
        EXPECT_EQ(g_seq.cur_cmd, c.cur_cmd);
        EXPECT_EQ(headless::Pane(EDIT_RECV), " ");
        EXPECT_FALSE(headless::TimerRunning());
        EXPECT_EQ(fake_port::OpenCount(), 1);
        EXPECT_EQ(g_seq.seq_state, ST_RESET);
        EXPECT_TRUE(headless::MessageBoxes().empty());
    }

    Fresh();
    DispatchCommand(IDM_CONNECT, 1);
    DispatchCommand(BTN_RESET3856, 0);
    EXPECT_EQ(fake_port::CloseCount(), 1);
    EXPECT_EQ(fake_port::SuccessfulOpens(), 2);
    EXPECT_EQ(fake_port::OpenBaudRates().back(), 38400u);
    EXPECT_TRUE(headless::TimerRunning());
    EXPECT_EQ(g_seq.seq_state, ST_START);
}

// What each request command leaves before its run begins.
TEST_F(CommandsTest, RequestStartersPrepareAndStart) {
    const struct {
        int id;
        const char* banner;  // on top of the Debug pane, or null
        int32_t cur_cmd;
    } cases[] = {
        {BTN_CAP, "Capture: ", BTN_CAP},
        {BTN_GO, "Go Command: ", BTN_GO},
        {BTN_RESETCMD, "Capture the RQBP Type Loader", BTN_RESETCMD},
        {BTN_RESET3856, "Capture the Loader", BTN_RESET3856},
        {IDM_CONTINUE_FWUG, "Continue Firmware Upgrade: ", 0},
        {BTN_VERSION, nullptr, BTN_VERSION},
        {IDM_BL_GET_CRC, nullptr, IDM_BL_GET_CRC},
        {IDM_APP_RESET, nullptr, IDM_APP_RESET},
        {IDM_RESET_FLASH_VARS, nullptr, IDM_RESET_FLASH_VARS},
        {IDM_GET_SEQ_NUM, nullptr, IDM_GET_SEQ_NUM},
        {IDM_GET_BL_ATTR, nullptr, IDM_GET_BL_ATTR},
        {IDM_SEND_ONE_WRITE, nullptr, IDM_SEND_ONE_WRITE},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.id);
        Fresh();
        headless::SetPane(EDIT_DEBUG, "old");
        g_seq.reset3856 = 1;
        g_seq.write_seq = 9;
        g_seq.file_offset = 180;
        DispatchCommand(c.id, 0);
        const std::string expected_debug = c.banner ? std::string(c.banner) + "\r\nold" : "old";
        EXPECT_EQ(headless::Pane(EDIT_DEBUG), expected_debug);
        EXPECT_EQ(headless::Pane(EDIT_RECV), " ");
        EXPECT_EQ(g_seq.cur_cmd, c.cur_cmd);
        EXPECT_TRUE(headless::TimerRunning());
        EXPECT_EQ(g_seq.seq_state, ST_START);
        EXPECT_EQ(tty_->wait_ticks, 0);

        const bool one_write = c.id == IDM_SEND_ONE_WRITE;
        EXPECT_EQ(g_seq.write_seq, one_write ? 0 : 9);
        EXPECT_EQ(g_seq.file_offset, one_write ? 0 : 180);
        const int32_t reset3856 = c.id == BTN_RESETCMD ? 0 : 1;
        EXPECT_EQ(g_seq.reset3856, reset3856);
        EXPECT_EQ(fake_port::OpenBaudRates().back(), c.id == BTN_RESET3856 ? 38400u : tty_->baud_rate);
    }
}

TEST_F(CommandsTest, VersionActsOnlyOnAClick) {
    g_seq.cur_cmd = IDM_GET_SEQ_NUM;
    DispatchCommand(BTN_VERSION, 1);
    EXPECT_EQ(g_seq.cur_cmd, IDM_GET_SEQ_NUM);
    EXPECT_EQ(fake_port::OpenCount(), 0);
    EXPECT_FALSE(headless::TimerRunning());
}

// A request during a run takes the run over: no second open, no second
// timer start, and its request is what the next ST_START sends.
TEST_F(CommandsTest, VersionDuringARunSwitchesTheRunningOperation) {
    DispatchCommand(IDM_GET_SEQ_NUM, 0);
    ASSERT_TRUE(headless::TimerRunning());
    DispatchCommand(BTN_VERSION, 0);
    EXPECT_EQ(g_seq.cur_cmd, BTN_VERSION);
    EXPECT_EQ(fake_port::OpenCount(), 1);
    EXPECT_EQ(headless::TimerStarts(), 1);
    headless::Tick();
    EXPECT_EQ(fake_port::SentText(), "\n00000000205010141E0\r");
}

TEST_F(CommandsTest, ContinueBeforeAnyOperationEndsInTheDefaultError) {
    DispatchCommand(IDM_CONTINUE_FWUG, 0);
    EXPECT_EQ(g_seq.cur_cmd, 0);
    ASSERT_TRUE(headless::TimerRunning());
    headless::Tick();
    EXPECT_EQ(headless::Pane(EDIT_RECV), kNoBuilder);
    EXPECT_EQ(headless::Tick(10), 5);
    EXPECT_EQ(headless::Pane(EDIT_RECV), std::string(kNoBuilder) + kStop);
    EXPECT_FALSE(tty_->connected.load());
}

#ifndef _WIN32
// Under Wine the trace log sits at a fixed place that other tests share.
TEST_F(CommandsTest, ContinueIsMarkedInTheTraceLog) {
    StoreSetDriveRoot((testing::TempDir() + "commands_drive_c").c_str());
    const std::filesystem::path log = TraceFilePath();
    std::filesystem::create_directories(log.parent_path());
    std::ofstream(log, std::ios::trunc).close();

    DispatchCommand(IDM_CONTINUE_FWUG, 0);
    g_seq.log_to_file = 0;
    DispatchCommand(IDM_CONTINUE_FWUG, 0);

    std::ifstream in(log, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text, "Continue\n");
    in.close();
    std::filesystem::remove(log);
}
#endif

TEST_F(CommandsTest, DisconnectDuringARunLeavesTheTimerRunning) {
    DispatchCommand(BTN_VERSION, 0);
    headless::Tick();
    DispatchCommand(IDM_DISCONNECT, 1);  // Shift+Page Down
    EXPECT_FALSE(tty_->connected.load());
    EXPECT_TRUE(headless::TimerRunning());
    EXPECT_EQ(g_seq.seq_state, ST_RECV);
}

TEST_F(CommandsTest, ReadFlashTakesAddressAndCountFromTheDialog) {
    const struct {
        const char *addr, *count;
        uint32_t read_addr;
        int32_t read_remain;
    } cases[] = {
        {"00002000", "0004", 0x2000u, 4},
        {"0001abcd", "01Ff", 0x1ABCDu, 0x1FF},
        {"FFFFFFFF", "FFFF", 0xFFFFFFFFu, 0xFFFF},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.addr);
        Fresh();
        AnswerDialogs(c.addr, c.count);
        DispatchCommand(IDM_READ_FLASH, 0);
        EXPECT_EQ(headless::DialogsOpened(), std::vector<int>{IDD_READ_DATA});
        EXPECT_EQ(g_seq.read_addr, c.read_addr);
        EXPECT_EQ(g_seq.read_remain, c.read_remain);
        EXPECT_EQ(g_seq.cur_cmd, IDM_READ_FLASH);
        EXPECT_TRUE(headless::TimerRunning());
    }
}

// Cancel, input the dialog does not accept, and a dialog that leaves no
// answer at all: nothing starts, even with the answer of an earlier dialog
// still in DialogResult.
TEST_F(CommandsTest, ParameterDialogWithoutAnswerStartsNothing) {
    const struct {
        int id, dialog;
        const char *first, *second;  // null: Cancel; "-": the dialog leaves DialogResult alone
    } cases[] = {
        {IDM_READ_FLASH, IDD_READ_DATA, nullptr, nullptr},
        {IDM_READ_FLASH, IDD_READ_DATA, "2000", "0004"},
        {IDM_READ_FLASH, IDD_READ_DATA, "-", "-"},
        {IDM_READ_EEPROM, IDD_READ_E2, nullptr, nullptr},
        {IDM_READ_EEPROM, IDD_READ_E2, "3D", "1"},
        {IDM_READ_EEPROM, IDD_READ_E2, "-", "-"},
        {IDM_WRITE_EEPROM, IDD_WRITE_DATA, nullptr, nullptr},
        {IDM_WRITE_EEPROM, IDD_WRITE_DATA, "3D", "555"},
        {IDM_WRITE_EEPROM, IDD_WRITE_DATA, "-", "-"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.id) + " " + (c.first ? c.first : "cancel"));
        Fresh();
        std::strcpy(DialogResult, "000020000004");
        if (c.first == nullptr) {
            headless::OnParamDialog([](int) { CancelParamDialog(); });
        } else if (std::strcmp(c.first, "-") == 0) {
            headless::OnParamDialog([](int) {});
        } else {
            AnswerDialogs(c.first, c.second);
        }
        DispatchCommand(c.id, 0);
        EXPECT_EQ(headless::DialogsOpened(), std::vector<int>{c.dialog});
        EXPECT_EQ(g_seq.cur_cmd, 0);
        EXPECT_EQ(fake_port::OpenCount(), 0);
        EXPECT_FALSE(headless::TimerRunning());
    }
}

TEST_F(CommandsTest, EepromDialogsStartTheirRequests) {
    for (int id : {IDM_READ_EEPROM, IDM_WRITE_EEPROM}) {
        SCOPED_TRACE(id);
        Fresh();
        AnswerDialogs("3D", "01");
        DispatchCommand(id, 0);
        EXPECT_EQ(g_seq.cur_cmd, id);
        EXPECT_TRUE(headless::TimerRunning());
    }
}

TEST_F(CommandsTest, MissingRecord) {
    HostSetPortRecord(nullptr);
    // Quietly nothing.
    for (int id : {IDM_SETTINGS, IDM_READ_FLASH, IDM_READ_EEPROM, IDM_WRITE_EEPROM}) {
        SCOPED_TRACE(id);
        headless::SetPane(EDIT_DEBUG, "x");
        DispatchCommand(id, 0);
        EXPECT_EQ(headless::Pane(EDIT_DEBUG), "x");
    }
    EXPECT_TRUE(headless::DialogsOpened().empty());

    // The record error on top of the Debug pane.
    for (int id : {BTN_RESET3856, BTN_SEND, BTN_VERSION}) {
        SCOPED_TRACE(id);
        headless::SetPane(EDIT_DEBUG, "x");
        DispatchCommand(id, 0);
        EXPECT_EQ(headless::Pane(EDIT_DEBUG), "WM_COMMAND: Error, GETNPTTYINFO\r\nx");
    }
    EXPECT_EQ(g_seq.reset3856, 0) << "Reset 38->56 stops before its preparation";
    EXPECT_EQ(fake_port::OpenCount(), 0);
    EXPECT_FALSE(headless::TimerRunning());
    HostSetPortRecord(tty_);
}

TEST_F(CommandsTest, SendWithAnotherNotificationIsRefused) {
    headless::SetPane(EDIT_DEBUG, "x");
    DispatchCommand(BTN_SEND, 1);
    EXPECT_EQ(headless::Pane(EDIT_DEBUG), "WM_COMMAND: Error, BTN_SEND - not BN_CLICKED\r\nx");
    EXPECT_EQ(fake_port::OpenCount(), 0);
}

TEST_F(CommandsTest, FailedOpenStartsNothing) {
    fake_port::SetDefaultOpenResult(false);
    DispatchCommand(BTN_CAP, 0);
    EXPECT_EQ(headless::MessageBoxes(), std::vector<std::string>{"Connection failed."});
    EXPECT_FALSE(headless::TimerRunning());
    EXPECT_EQ(g_seq.seq_state, ST_RESET);
    EXPECT_EQ(g_seq.cur_cmd, BTN_CAP);
}

}  // namespace
