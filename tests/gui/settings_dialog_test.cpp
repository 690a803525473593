// The settings dialog on the real dialog manager (in-process, under Wine with
// a display): what it shows for a record and what Ok and Cancel leave in it.
#include <windows.h>

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "resources/resource_ids.h"
#include "serial/settings_dialog.h"
#include "serial/ttyinfo.h"

namespace {

struct ENTRY {
    std::string caption;
    long data;
    bool operator==(const ENTRY&) const = default;
};

void PrintTo(const ENTRY& e, std::ostream* os) { *os << e.caption << "=" << e.data; }

class SettingsDialog : public ::testing::Test {
protected:
    TTYINFO tty{};
    HWND dialog = nullptr;

    void SetUp() override { SetInitialPortValues(&tty); }
    void TearDown() override {
        if (dialog) DestroyWindow(dialog);
    }

    // Shown, so that the end of the dialog (it hides) can be seen.
    void Open(TTYINFO* record) {
        if (dialog) DestroyWindow(dialog);
        dialog = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_SETTINGS), nullptr,
                                    SettingsDialogProc, reinterpret_cast<LPARAM>(record));
        ASSERT_NE(dialog, nullptr);
        ShowWindow(dialog, SW_SHOW);
    }
    LRESULT Item(int id, UINT msg, WPARAM w = 0, LPARAM l = 0) { return SendDlgItemMessageA(dialog, id, msg, w, l); }
    int Selected(int id) { return static_cast<int>(Item(id, CB_GETCURSEL)); }
    void Select(int id, int index) { Item(id, CB_SETCURSEL, static_cast<WPARAM>(index)); }
    void Press(int id) { SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); }
    bool IsChecked(int id) { return IsDlgButtonChecked(dialog, id) == BST_CHECKED; }
    std::vector<ENTRY> Entries(int id) {
        std::vector<ENTRY> out;
        int count = static_cast<int>(Item(id, CB_GETCOUNT));
        for (int i = 0; i < count; ++i) {
            char text[128] = "";
            Item(id, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
            out.push_back({text, static_cast<long>(Item(id, CB_GETITEMDATA, static_cast<WPARAM>(i)))});
        }
        return out;
    }
    std::vector<std::string> Captions(int id) {
        std::vector<std::string> out;
        for (const ENTRY& e : Entries(id)) out.push_back(e.caption);
        return out;
    }
};

TEST_F(SettingsDialog, ListsHoldTheirCaptionsAndItemDataInOrder) {
    Open(&tty);
    EXPECT_EQ(Captions(IDC_PORT_LIST),
              (std::vector<std::string>{"COM1", "COM2", "COM3", "COM4", "COM5", "COM6", "COM7", "COM8"}));
    EXPECT_EQ(Captions(IDC_DATABITS_LIST), (std::vector<std::string>{"5", "6", "7", "8"}));
    EXPECT_EQ(Entries(IDC_BAUD_LIST),
              (std::vector<ENTRY>{{"110", 110}, {"300", 300}, {"600", 600}, {"1200", 1200}, {"2400", 2400},
                                  {"4800", 4800}, {"9600", 9600}, {"14.4k", 14400}, {"19.2k", 19200},
                                  {"38.4k", 38400}, {"56k", 56000}, {"128k", 128000}, {"256k", 256000}}));
    EXPECT_EQ(Entries(IDC_PARITY_LIST),
              (std::vector<ENTRY>{{"None", 0}, {"Even", 2}, {"Odd", 1}, {"Mark", 3}, {"Space", 4}}));
    EXPECT_EQ(Entries(IDC_STOPBITS_LIST), (std::vector<ENTRY>{{"1", 0}, {"1.5", 1}, {"2", 2}}));
}

TEST_F(SettingsDialog, OpensOnTheInitialRecord) {
    Open(&tty);
    EXPECT_EQ(Selected(IDC_PORT_LIST), 0);      // COM1
    EXPECT_EQ(Selected(IDC_BAUD_LIST), 6);      // 9600
    EXPECT_EQ(Selected(IDC_DATABITS_LIST), 3);  // 8
    EXPECT_EQ(Selected(IDC_PARITY_LIST), 0);    // None
    EXPECT_EQ(Selected(IDC_STOPBITS_LIST), 0);  // 1
    for (int id : {IDC_FLOW_DTRDSR, IDC_FLOW_RTSCTS, IDC_FLOW_XONXOFF, IDC_OPT_AUTOWRAP, IDC_OPT_NEWLINE,
                   IDC_OPT_LOCALECHO, IDC_OPT_CNRECEIVE})
        EXPECT_FALSE(IsChecked(id)) << id;
    EXPECT_TRUE(IsChecked(IDC_OPT_DISPERRORS));
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, IDC_OPT_CNRECEIVE)));
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dialog, IDC_PORT_LIST)));
    EXPECT_EQ(GetPropA(dialog, SETTINGS_RECORD_PROP), static_cast<HANDLE>(&tty));
}

TEST_F(SettingsDialog, OkStoresTheChosenEntriesItemData) {
    Open(&tty);
    Select(IDC_PORT_LIST, 3);      // COM4
    Select(IDC_BAUD_LIST, 7);      // 14.4k
    Select(IDC_DATABITS_LIST, 2);  // 7
    Select(IDC_PARITY_LIST, 2);    // Odd
    Select(IDC_STOPBITS_LIST, 1);  // 1.5
    CheckDlgButton(dialog, IDC_FLOW_RTSCTS, BST_CHECKED);
    CheckDlgButton(dialog, IDC_FLOW_XONXOFF, BST_CHECKED);
    CheckDlgButton(dialog, IDC_OPT_LOCALECHO, BST_CHECKED);
    CheckDlgButton(dialog, IDC_OPT_DISPERRORS, BST_UNCHECKED);
    Press(IDOK);
    EXPECT_FALSE(IsWindowVisible(dialog));  // Ok ends the dialog
    EXPECT_EQ(tty.port_number, 4);
    EXPECT_EQ(tty.baud_rate, 14400u);
    EXPECT_EQ(tty.byte_size, 7);
    EXPECT_EQ(tty.parity, 1);
    EXPECT_EQ(tty.stop_bits, 1);
    EXPECT_EQ(tty.flow_ctrl, 6);
    EXPECT_EQ(tty.local_echo, 1);
    EXPECT_EQ(tty.display_errors, 0);

    // "Even" stands before "Odd" in the list but carries the code 2.
    Open(&tty);
    EXPECT_EQ(Selected(IDC_PARITY_LIST), 2);
    Select(IDC_PARITY_LIST, 1);
    Press(IDOK);
    EXPECT_EQ(tty.parity, 2);
}

TEST_F(SettingsDialog, OkWithoutChangesOnlySwitchesCnReceiveOff) {
    tty.port_number = 6;
    tty.baud_rate = 256000;
    tty.flow_ctrl = FLOW_DTRDSR | FLOW_XONXOFF;
    tty.auto_wrap = 1;
    tty.new_line = 1;
    Open(&tty);
    Press(IDOK);
    EXPECT_EQ(tty.port_number, 6);
    EXPECT_EQ(tty.baud_rate, 256000u);
    EXPECT_EQ(tty.byte_size, 8);
    EXPECT_EQ(tty.parity, 0);
    EXPECT_EQ(tty.stop_bits, 0);
    EXPECT_EQ(tty.flow_ctrl, FLOW_DTRDSR | FLOW_XONXOFF);
    EXPECT_EQ(tty.auto_wrap, 1);
    EXPECT_EQ(tty.new_line, 1);
    EXPECT_EQ(tty.local_echo, 0);
    EXPECT_EQ(tty.display_errors, 1);
    EXPECT_EQ(tty.use_cn_receive, 0);
}

// 57600 is left by the reset sequence and is none of the listed rates: the
// list opens without a selection, and Ok must not store CB_ERR's value.
TEST_F(SettingsDialog, ListsWithoutSelectionKeepTheRecordsValues) {
    tty.baud_rate = 57600;
    tty.parity = 9;
    tty.stop_bits = 7;
    tty.byte_size = 4;
    Open(&tty);
    for (int id : {IDC_BAUD_LIST, IDC_PARITY_LIST, IDC_STOPBITS_LIST, IDC_DATABITS_LIST})
        EXPECT_EQ(Selected(id), CB_ERR) << id;
    Press(IDOK);
    EXPECT_EQ(tty.baud_rate, 57600u);
    EXPECT_EQ(tty.parity, 9);
    EXPECT_EQ(tty.stop_bits, 7);
    EXPECT_EQ(tty.byte_size, 4);
    EXPECT_EQ(tty.port_number, 1);
}

TEST_F(SettingsDialog, CancelLeavesTheRecordUnchanged) {
    Open(&tty);
    Select(IDC_PORT_LIST, 7);
    Select(IDC_BAUD_LIST, 0);
    CheckDlgButton(dialog, IDC_FLOW_DTRDSR, BST_CHECKED);
    Press(IDCANCEL);
    EXPECT_FALSE(IsWindowVisible(dialog));
    EXPECT_EQ(tty.port_number, 1);
    EXPECT_EQ(tty.baud_rate, 9600u);
    EXPECT_EQ(tty.flow_ctrl, 0);
    EXPECT_EQ(tty.use_cn_receive, 1);
}

TEST_F(SettingsDialog, WhileConnectedThePortListShowsThePortAndIsDisabled) {
    tty.port_number = 5;
    tty.connected.store(1);
    Open(&tty);
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, IDC_PORT_LIST)));
    EXPECT_EQ(Selected(IDC_PORT_LIST), 4);
    Select(IDC_BAUD_LIST, 9);
    Press(IDOK);
    EXPECT_EQ(tty.port_number, 5);
    EXPECT_EQ(tty.baud_rate, 38400u);
}

TEST_F(SettingsDialog, WithoutARecordNothingIsFilledOrRead) {
    Open(nullptr);
    EXPECT_EQ(Item(IDC_BAUD_LIST, CB_GETCOUNT), 0);
    EXPECT_FALSE(ReadSettingsDialog(dialog));
    EXPECT_FALSE(PickDisplayFont(dialog));
    Press(IDOK);
    EXPECT_FALSE(IsWindowVisible(dialog));
}

}  // namespace
