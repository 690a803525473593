// The settings dialog: fills its lists and boxes from the record, writes
// them back on Ok, and lets the user pick the label font at any time.
#include "serial/settings_dialog.h"

#include <commdlg.h>

#include <cstddef>

#include "resources/resource_ids.h"
#include "serial/port.h"
#include "serial/ttyinfo.h"

// The record's LOG_FONT is handed to the font chooser in place.
static_assert(sizeof(LOG_FONT) == sizeof(LOGFONTA));
static_assert(offsetof(LOG_FONT, lfFaceName) == offsetof(LOGFONTA, lfFaceName));

namespace {

constexpr uint32_t BAUD_DATA[] = {110,  300,   600,   1200,  2400,   4800,  9600,
                                  14400, 19200, 38400, 56000, 128000, 256000};
constexpr uint32_t PARITY_DATA[] = {0, 2, 1, 3, 4};  // None, Even, Odd, Mark, Space
constexpr uint32_t STOPBITS_DATA[] = {0, 1, 2};       // 1, 1.5, 2
constexpr int CAPTION_MAX = 81;
constexpr int PORT_COUNT = 8;
constexpr int FIRST_DATA_BITS = 5;

constexpr DWORD FONT_FLAGS = CF_SCREENFONTS | CF_INITTOLOGFONTSTRUCT | CF_EFFECTS | CF_FIXEDPITCHONLY;
static_assert(FONT_FLAGS == 0x4141);

TTYINFO* DialogRecord(HWND dialog) {
    return static_cast<TTYINFO*>(GetPropA(dialog, SETTINGS_RECORD_PROP));
}

HINSTANCE DialogInstance(HWND dialog) {
    return reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(dialog, GWLP_HINSTANCE));
}

LRESULT ListMessage(HWND dialog, int id, UINT msg, WPARAM wparam = 0, LPARAM lparam = 0) {
    return SendDlgItemMessageA(dialog, id, msg, wparam, lparam);
}

// The selected entry's index, or -1 when the list has none selected.
int SelectedIndex(HWND dialog, int id) {
    LRESULT index = ListMessage(dialog, id, CB_GETCURSEL);
    return index == CB_ERR ? -1 : static_cast<int>(index);
}

// The selected entry's item data in *value; false (and *value untouched)
// when nothing is selected, so the record keeps what it had.
bool SelectedData(HWND dialog, int id, uint32_t* value) {
    int index = SelectedIndex(dialog, id);
    if (index < 0) return false;
    *value = static_cast<uint32_t>(ListMessage(dialog, id, CB_GETITEMDATA, static_cast<WPARAM>(index)));
    return true;
}

UINT Check(int32_t on) { return on ? BST_CHECKED : BST_UNCHECKED; }
int32_t Checked(HWND dialog, int id) { return IsDlgButtonChecked(dialog, id) == BST_CHECKED ? 1 : 0; }

}  // namespace

void FillSettingsCombo(HINSTANCE instance, HWND list, int first_string_id, const uint32_t* item_data,
                       uint16_t count, uint32_t current) {
    for (uint16_t i = 0; i < count; ++i) {
        char caption[CAPTION_MAX] = "";
        LoadStringA(instance, static_cast<UINT>(first_string_id + i), caption, CAPTION_MAX);
        LRESULT entry = SendMessageA(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(caption));
        if (entry == CB_ERR || entry == CB_ERRSPACE) continue;
        SendMessageA(list, CB_SETITEMDATA, static_cast<WPARAM>(entry), static_cast<LPARAM>(item_data[i]));
        if (item_data[i] == current) SendMessageA(list, CB_SETCURSEL, static_cast<WPARAM>(entry), 0);
    }
}

BOOL InitSettingsDialog(HWND dialog) {
    TTYINFO* tty = DialogRecord(dialog);
    if (tty == nullptr) return FALSE;
    HINSTANCE instance = DialogInstance(dialog);

    char prefix[CAPTION_MAX] = "";
    LoadStringA(instance, IDS_COM_PREFIX, prefix, CAPTION_MAX);
    for (int i = 1; i <= PORT_COUNT; ++i) {
        char name[CAPTION_MAX + 16];
        wsprintfA(name, "%s%d", prefix, i);
        ListMessage(dialog, IDC_PORT_LIST, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
    }
    ListMessage(dialog, IDC_PORT_LIST, CB_SETCURSEL, static_cast<WPARAM>(tty->port_number - 1));
    EnableWindow(GetDlgItem(dialog, IDC_PORT_LIST), tty->connected.load() ? FALSE : TRUE);

    FillSettingsCombo(instance, GetDlgItem(dialog, IDC_BAUD_LIST), IDS_BAUD_FIRST, BAUD_DATA,
                      static_cast<uint16_t>(sizeof(BAUD_DATA) / sizeof(BAUD_DATA[0])), tty->baud_rate);

    for (int bits = FIRST_DATA_BITS; bits <= 8; ++bits) {
        char text[8];
        wsprintfA(text, "%d", bits);
        LRESULT entry = ListMessage(dialog, IDC_DATABITS_LIST, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
        if (bits == tty->byte_size) ListMessage(dialog, IDC_DATABITS_LIST, CB_SETCURSEL, static_cast<WPARAM>(entry));
    }

    FillSettingsCombo(instance, GetDlgItem(dialog, IDC_PARITY_LIST), IDS_PARITY_FIRST, PARITY_DATA,
                      static_cast<uint16_t>(sizeof(PARITY_DATA) / sizeof(PARITY_DATA[0])), tty->parity);
    FillSettingsCombo(instance, GetDlgItem(dialog, IDC_STOPBITS_LIST), IDS_STOPBITS_FIRST, STOPBITS_DATA,
                      static_cast<uint16_t>(sizeof(STOPBITS_DATA) / sizeof(STOPBITS_DATA[0])),
                      tty->stop_bits);

    CheckDlgButton(dialog, IDC_FLOW_DTRDSR, Check(tty->flow_ctrl & FLOW_DTRDSR));
    CheckDlgButton(dialog, IDC_FLOW_RTSCTS, Check(tty->flow_ctrl & FLOW_RTSCTS));
    CheckDlgButton(dialog, IDC_FLOW_XONXOFF, Check(tty->flow_ctrl & FLOW_XONXOFF));
    CheckDlgButton(dialog, IDC_OPT_AUTOWRAP, Check(tty->auto_wrap));
    CheckDlgButton(dialog, IDC_OPT_NEWLINE, Check(tty->new_line));
    CheckDlgButton(dialog, IDC_OPT_LOCALECHO, Check(tty->local_echo));
    // The CN_RECEIVE option is shown but cannot be chosen: it stays off.
    EnableWindow(GetDlgItem(dialog, IDC_OPT_CNRECEIVE), FALSE);
    CheckDlgButton(dialog, IDC_OPT_DISPERRORS, Check(tty->display_errors));
    return TRUE;
}

BOOL ReadSettingsDialog(HWND dialog) {
    TTYINFO* tty = DialogRecord(dialog);
    if (tty == nullptr) return FALSE;

    // A list without a selection (a rate none of the entries stands for,
    // such as 57600 after the reset sequence) leaves its field as it was.
    int port = SelectedIndex(dialog, IDC_PORT_LIST);
    if (port >= 0) tty->port_number = static_cast<uint8_t>(port + 1);
    uint32_t value = 0;
    if (SelectedData(dialog, IDC_BAUD_LIST, &value)) tty->baud_rate = value;
    int bits = SelectedIndex(dialog, IDC_DATABITS_LIST);
    if (bits >= 0) tty->byte_size = static_cast<uint8_t>(bits + FIRST_DATA_BITS);
    if (SelectedData(dialog, IDC_PARITY_LIST, &value)) tty->parity = static_cast<uint8_t>(value);
    if (SelectedData(dialog, IDC_STOPBITS_LIST, &value)) tty->stop_bits = static_cast<uint8_t>(value);

    uint8_t flow = 0;
    if (Checked(dialog, IDC_FLOW_DTRDSR)) flow |= FLOW_DTRDSR;
    if (Checked(dialog, IDC_FLOW_RTSCTS)) flow |= FLOW_RTSCTS;
    if (Checked(dialog, IDC_FLOW_XONXOFF)) flow |= FLOW_XONXOFF;
    tty->flow_ctrl = flow;

    tty->auto_wrap = Checked(dialog, IDC_OPT_AUTOWRAP);
    tty->new_line = Checked(dialog, IDC_OPT_NEWLINE);
    tty->local_echo = Checked(dialog, IDC_OPT_LOCALECHO);
    tty->use_cn_receive = Checked(dialog, IDC_OPT_CNRECEIVE);
    tty->display_errors = Checked(dialog, IDC_OPT_DISPERRORS);
    return TRUE;
}

BOOL PickDisplayFont(HWND dialog) {
    TTYINFO* tty = DialogRecord(dialog);
    if (tty == nullptr) return FALSE;
    CHOOSEFONTA cf{};
    cf.lStructSize = sizeof(cf);
    cf.hwndOwner = dialog;
    cf.hDC = nullptr;
    cf.lpLogFont = reinterpret_cast<LOGFONTA*>(&tty->log_font);
    cf.Flags = FONT_FLAGS;
    cf.rgbColors = static_cast<COLORREF>(tty->text_color);
    cf.hInstance = DialogInstance(dialog);
    if (ChooseFontA(&cf)) {
        tty->text_color = static_cast<uint32_t>(cf.rgbColors);
        MakeDisplayFont(tty);
    }
    return TRUE;
}

INT_PTR CALLBACK SettingsDialogProc(HWND dialog, UINT msg, WPARAM wparam, LPARAM lparam) {
    switch (msg) {
        case WM_INITDIALOG:
            SetPropA(dialog, SETTINGS_RECORD_PROP, reinterpret_cast<HANDLE>(lparam));
            return InitSettingsDialog(dialog);
        case WM_COMMAND:
            switch (LOWORD(wparam)) {
                case IDOK:
                    ReadSettingsDialog(dialog);
                    EndDialog(dialog, 1);
                    return TRUE;
                case IDCANCEL:
                    EndDialog(dialog, 1);
                    return TRUE;
                case IDC_FONT_BUTTON:
                    return PickDisplayFont(dialog);
                default:
                    return FALSE;
            }
        case WM_DESTROY:
            RemovePropA(dialog, SETTINGS_RECORD_PROP);
            return FALSE;
        default:
            return FALSE;
    }
}
