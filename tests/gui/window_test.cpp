// The main window and the parameter dialogs in-process, on the real window
// manager (under Wine with a display): the panes on real edit controls,
// creation and teardown, and what each dialog leaves in DialogResult.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "app/host.h"
#include "app/main_window.h"
#include "app/param_dialogs.h"
#include "protocol/memory_requests.h"
#include "resources/resource_ids.h"
#include "sequencer/seqinfo.h"
#include "serial/ttyinfo.h"

namespace {

std::string Text(int pane) {
    static char buffer[70000];
    PaneGetText(pane, buffer, sizeof buffer);
    return buffer;
}

void DrainMessages() {
    MSG m;
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
    }
}

class MainWindow : public ::testing::Test {
protected:
    HWND window = nullptr;

    static void SetUpTestSuite() {
        g_instance = GetModuleHandleA(nullptr);
        RegisterMainClass(g_instance);
    }
    void SetUp() override {
        window = CreateMainWindow(g_instance);
        ASSERT_NE(window, nullptr);
    }
    void TearDown() override {
        if (IsWindow(window)) DestroyWindow(window);
        DrainMessages();
    }
};

TEST_F(MainWindow, CreationBuildsTheControlsAndAttachesTheRecord) {
    for (int id : {EDIT_RECV, EDIT_DEBUG, EDIT_PROGRESS, EDIT_ENCFILE, BTN_CAP, BTN_FIND, ID_FWUG_INPROCESS, BTN_GO,
                   EDIT_DEST, BTN_RESETCMD, EDIT_SIZE, BTN_VERSION, BTN_RESET3856}) {
        EXPECT_NE(ControlHandle(id), nullptr) << id;
        EXPECT_EQ(ControlHandle(id), GetDlgItem(window, id)) << id;
    }
    EXPECT_EQ(ControlHandle(BTN_SEND), nullptr);
    EXPECT_EQ(Text(EDIT_SIZE), "256");
    EXPECT_EQ(g_seq.chunk_size, 20);
    EXPECT_EQ(g_seq.seq_state, ST_RESET);
    TTYINFO* tty = GETNPTTYINFO();
    ASSERT_NE(tty, nullptr);
    EXPECT_EQ(reinterpret_cast<TTYINFO*>(GetWindowLongPtrA(window, 0)), tty);
    EXPECT_NE(tty->display_font, nullptr);
}

TEST_F(MainWindow, PanesPrependLinesAndAppendText) {
    PanePrependLine(EDIT_DEBUG, "Older");
    EXPECT_EQ(Text(EDIT_DEBUG), "Older\r\n");
    PanePrependLine(EDIT_DEBUG, "Newer");
    EXPECT_EQ(Text(EDIT_DEBUG), "Newer\r\nOlder\r\n");

    PaneAppend(EDIT_RECV, "len = ");
    PaneAppend(EDIT_RECV, "23\r\n");
    PaneAppend(EDIT_RECV, "");
    EXPECT_EQ(Text(EDIT_RECV), "len = 23\r\n");

    PaneSetText(EDIT_PROGRESS, "hello");
    char small[3];
    EXPECT_EQ(PaneGetText(EDIT_PROGRESS, small, sizeof small), 2);
    EXPECT_EQ(std::string(small), "he");
    EXPECT_EQ(PaneGetText(EDIT_PROGRESS, small, 1), 0);
    EXPECT_EQ(std::string(small), "");
}

// Each update replaces the whole text; nothing may cut a long pane short.
TEST_F(MainWindow, PanesKeepLongTexts) {
    const std::string line(99, 'x');
    std::string expected;
    for (int i = 0; i < 400; ++i) expected += line + "\r\n";
    PaneSetText(EDIT_DEBUG, expected.c_str());
    PaneAppend(EDIT_DEBUG, "end\r\n");
    PanePrependLine(EDIT_DEBUG, "top");
    EXPECT_EQ(Text(EDIT_DEBUG), "top\r\n" + expected + "end\r\n");
}

TEST_F(MainWindow, CommandsGoToTheDispatcher) {
    PaneSetText(EDIT_RECV, "old");
    EXPECT_EQ(SendMessageA(window, WM_COMMAND, MAKEWPARAM(IDM_CLEAR_RECV, 0), 0), 0);
    EXPECT_EQ(Text(EDIT_RECV), " ");
    EXPECT_EQ(SendMessageA(window, WM_COMMAND, MAKEWPARAM(IDM_CLEAR_ALL, 0), 0), 0);
    EXPECT_EQ(Text(EDIT_RECV) + Text(EDIT_DEBUG) + Text(EDIT_PROGRESS), "");
    EXPECT_EQ(SendMessageA(window, WM_COMMAND, MAKEWPARAM(0x7777, 0), 0), 0);  // unknown ids too
}

TEST_F(MainWindow, TeardownReleasesTheRecordAndEndsTheLoop) {
    DrainMessages();
    DestroyWindow(window);
    EXPECT_EQ(GETNPTTYINFO(), nullptr);
    EXPECT_EQ(ControlHandle(EDIT_RECV), nullptr);
    MSG m;
    ASSERT_TRUE(PeekMessageA(&m, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(m.wParam, 0u);
}

struct PARAM_CASE {
    const char* name;
    int dialog;
    int first_id;
    const char* first;  // null: the default text stays
    int second_id;
    const char* second;
    const char* result;
};

DLGPROC ProcOf(int dialog) {
    switch (dialog) {
        case IDD_READ_DATA: return ReadDataDialogProc;
        case IDD_READ_E2: return ReadE2DialogProc;
        default: return WriteDataDialogProc;
    }
}

HWND OpenParamDialog(int dialog) {
    HWND d = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(dialog), nullptr, ProcOf(dialog), 0);
    if (d) ShowWindow(d, SW_SHOW);
    return d;
}

std::string Field(HWND dialog, int id) {
    char text[64] = "";
    GetDlgItemTextA(dialog, id, text, sizeof text);
    return text;
}

TEST(ParamDialogs, OpenWithTheirDefaults) {
    HWND d = OpenParamDialog(IDD_READ_DATA);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(Field(d, IDC_FLASH_ADDR) + "|" + Field(d, IDC_READ_COUNT) + "|" + Field(d, IDC_RFU), "00002000|0004|RFU");
    DestroyWindow(d);
    d = OpenParamDialog(IDD_READ_E2);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(Field(d, IDC_E2_ADDR) + "|" + Field(d, IDC_E2_VALUE) + "|" + Field(d, IDC_E2_ADDR_MSB), "3D|01|");
    DestroyWindow(d);
    d = OpenParamDialog(IDD_WRITE_DATA);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(Field(d, IDC_WRITE_ADDR) + "|" + Field(d, IDC_E2_VALUE), "3D|55");
    DestroyWindow(d);
}

TEST(ParamDialogs, OkLeavesTheDigitsOrNothing) {
    const PARAM_CASE cases[] = {
        {"read data defaults", IDD_READ_DATA, IDC_FLASH_ADDR, nullptr, IDC_READ_COUNT, nullptr, "000020000004"},
        {"address of 7", IDD_READ_DATA, IDC_FLASH_ADDR, "0000200", IDC_READ_COUNT, nullptr, ""},
        {"count of 3", IDD_READ_DATA, IDC_FLASH_ADDR, nullptr, IDC_READ_COUNT, "004", ""},
        {"count of 5", IDD_READ_DATA, IDC_FLASH_ADDR, nullptr, IDC_READ_COUNT, "00040", ""},
        {"address of 20 is not cut to size", IDD_READ_DATA, IDC_FLASH_ADDR, "00002000000000000000", IDC_READ_COUNT,
         nullptr, ""},
        {"not hex is taken as typed", IDD_READ_DATA, IDC_FLASH_ADDR, "0000zz00", IDC_READ_COUNT, "0040",
         "0000zz000040"},
        {"read E2 defaults", IDD_READ_E2, IDC_E2_ADDR, nullptr, IDC_E2_VALUE, nullptr, "3D01"},
        {"read E2 without length", IDD_READ_E2, IDC_E2_ADDR, nullptr, IDC_E2_VALUE, "", ""},
        {"write defaults", IDD_WRITE_DATA, IDC_WRITE_ADDR, nullptr, IDC_E2_VALUE, nullptr, "3D55"},
        {"write 14 characters", IDD_WRITE_DATA, IDC_WRITE_ADDR, nullptr, IDC_E2_VALUE, "a5A5a5A5a5A5a5",
         "3Da5A5a5A5a5A5a5"},
        {"write 3 characters", IDD_WRITE_DATA, IDC_WRITE_ADDR, nullptr, IDC_E2_VALUE, "555", ""},
        {"write 16 characters", IDD_WRITE_DATA, IDC_WRITE_ADDR, nullptr, IDC_E2_VALUE, "A5A5A5A5A5A5A5A5", ""},
        {"write nothing", IDD_WRITE_DATA, IDC_WRITE_ADDR, nullptr, IDC_E2_VALUE, "", ""},
        {"write address of 1", IDD_WRITE_DATA, IDC_WRITE_ADDR, "3", IDC_E2_VALUE, nullptr, ""},
    };
    for (const PARAM_CASE& c : cases) {
        std::snprintf(DialogResult, DIALOG_RESULT_MAX, "%s", "stale");
        HWND d = OpenParamDialog(c.dialog);
        ASSERT_NE(d, nullptr) << c.name;
        if (c.first) SetDlgItemTextA(d, c.first_id, c.first);
        if (c.second) SetDlgItemTextA(d, c.second_id, c.second);
        SendMessageA(d, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        EXPECT_EQ(std::string(DialogResult), c.result) << c.name;
        EXPECT_FALSE(IsWindowVisible(d)) << c.name << ": OK ends the dialog";
        DestroyWindow(d);
    }
}

TEST(ParamDialogs, CancelEmptiesTheResult) {
    for (int dialog : {IDD_READ_DATA, IDD_READ_E2, IDD_WRITE_DATA}) {
        std::snprintf(DialogResult, DIALOG_RESULT_MAX, "%s", "3D55");
        HWND d = OpenParamDialog(dialog);
        ASSERT_NE(d, nullptr);
        SendMessageA(d, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        EXPECT_EQ(std::string(DialogResult), "") << dialog;
        EXPECT_FALSE(IsWindowVisible(d)) << dialog;
        DestroyWindow(d);
    }
}

}  // namespace
