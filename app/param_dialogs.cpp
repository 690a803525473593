// The three parameter dialogs: defaults on opening, the accept rules of the
// memory requests on OK, an empty result on Cancel. Both end the dialog with
// 1, so the caller looks only at DialogResult.
#include "app/param_dialogs.h"

#include "protocol/memory_requests.h"
#include "resources/resource_ids.h"

namespace {

// 18 characters: at most 17 are taken, so an over-long entry stays
// over-long and is refused by the accept rule instead of being cut to size.
constexpr int FIELD_BUFFER = 18;

struct FIELD_TEXT {
    char text[FIELD_BUFFER];
};

FIELD_TEXT ReadField(HWND dialog, int id) {
    FIELD_TEXT f{};
    GetDlgItemTextA(dialog, id, f.text, FIELD_BUFFER);
    f.text[FIELD_BUFFER - 1] = '\0';
    return f;
}

struct PARAM_DIALOG {
    int first_field;
    int second_field;
    void (*accept)(const char*, const char*);
};

INT_PTR RunParamDialog(const PARAM_DIALOG& d, HWND dialog, UINT msg, WPARAM wparam,
                       void (*defaults)(HWND)) {
    switch (msg) {
        case WM_INITDIALOG:
            defaults(dialog);
            return TRUE;
        case WM_COMMAND:
            switch (LOWORD(wparam)) {
                case IDOK: {
                    FIELD_TEXT first = ReadField(dialog, d.first_field);
                    FIELD_TEXT second = ReadField(dialog, d.second_field);
                    d.accept(first.text, second.text);
                    EndDialog(dialog, 1);
                    return TRUE;
                }
                case IDCANCEL:
                    CancelParamDialog();
                    EndDialog(dialog, 1);
                    return TRUE;
                default:
                    return FALSE;
            }
        default:
            return FALSE;
    }
}

void ReadDataDefaults(HWND dialog) {
    SetDlgItemTextA(dialog, IDC_FLASH_ADDR, "00002000");
    SetDlgItemTextA(dialog, IDC_READ_COUNT, "0004");
    SetDlgItemTextA(dialog, IDC_RFU, "RFU");
}

void ReadE2Defaults(HWND dialog) {
    SetDlgItemTextA(dialog, IDC_E2_ADDR, "3D");
    SetDlgItemTextA(dialog, IDC_E2_VALUE, "01");
}

void WriteDataDefaults(HWND dialog) {
    SetDlgItemTextA(dialog, IDC_WRITE_ADDR, "3D");
    SetDlgItemTextA(dialog, IDC_E2_VALUE, "55");
}

constexpr PARAM_DIALOG READ_DATA = {IDC_FLASH_ADDR, IDC_READ_COUNT, AcceptReadData};
constexpr PARAM_DIALOG READ_E2 = {IDC_E2_ADDR, IDC_E2_VALUE, AcceptReadE2};
constexpr PARAM_DIALOG WRITE_DATA = {IDC_WRITE_ADDR, IDC_E2_VALUE, AcceptWriteData};

}  // namespace

INT_PTR CALLBACK ReadDataDialogProc(HWND dialog, UINT msg, WPARAM wparam, LPARAM) {
    return RunParamDialog(READ_DATA, dialog, msg, wparam, ReadDataDefaults);
}

INT_PTR CALLBACK ReadE2DialogProc(HWND dialog, UINT msg, WPARAM wparam, LPARAM) {
    return RunParamDialog(READ_E2, dialog, msg, wparam, ReadE2Defaults);
}

INT_PTR CALLBACK WriteDataDialogProc(HWND dialog, UINT msg, WPARAM wparam, LPARAM) {
    return RunParamDialog(WRITE_DATA, dialog, msg, wparam, WriteDataDefaults);
}
