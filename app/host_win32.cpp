// The host seam on the real main window: panes and fields are its edit
// controls, the timer is TIMER_SEQ on it, and the dialogs are owned by it.
#include <windows.h>
#include <commdlg.h>

#include <cstdlib>
#include <cstring>

#include "app/about_box.h"
#include "app/host.h"
#include "app/main_window.h"
#include "app/param_dialogs.h"
#include "resources/resource_ids.h"
#include "serial/settings_dialog.h"
#include "serial/ttyinfo.h"

namespace {

// Sets the pane's whole text to `before`, the separator, its old text and
// `after`. Nothing changes when no buffer can be had: the text is lost.
void ReplacePaneText(int pane, const char* before, const char* separator, const char* after) {
    HWND edit = ControlHandle(pane);
    if (edit == nullptr) return;
    const size_t old_length = static_cast<size_t>(GetWindowTextLengthA(edit));
    // L + n + 4 leaves room for the CR LF of a prepended line and the terminator.
    const size_t added = std::strlen(before) + std::strlen(after);
    char* buffer = static_cast<char*>(std::malloc(old_length + added + 4));
    if (buffer == nullptr) return;
    size_t at = 0;
    std::memcpy(buffer + at, before, std::strlen(before));
    at += std::strlen(before);
    std::memcpy(buffer + at, separator, std::strlen(separator));
    at += std::strlen(separator);
    // The text may have shrunk since it was measured; take what is there.
    int copied = GetWindowTextA(edit, buffer + at, static_cast<int>(old_length + 1));
    at += copied > 0 ? static_cast<size_t>(copied) : 0;
    std::memcpy(buffer + at, after, std::strlen(after));
    at += std::strlen(after);
    buffer[at] = '\0';
    SetWindowTextA(edit, buffer);
    std::free(buffer);
}

}  // namespace

void PaneAppend(int pane, const char* text) { ReplacePaneText(pane, "", "", text); }

void PanePrependLine(int pane, const char* text) { ReplacePaneText(pane, text, "\r\n", ""); }

void PaneSetText(int pane, const char* text) {
    HWND edit = ControlHandle(pane);
    if (edit != nullptr) SetWindowTextA(edit, text);
}

int PaneGetText(int pane, char* buffer, int cap) {
    buffer[0] = '\0';
    HWND edit = ControlHandle(pane);
    if (edit == nullptr || cap < 1) return 0;
    int n = GetWindowTextA(edit, buffer, cap);
    if (n < 0) n = 0;
    if (n > cap - 1) n = cap - 1;
    buffer[n] = '\0';
    return n;
}

TTYINFO* GETNPTTYINFO() {
    if (g_main_window == nullptr) return nullptr;
    return reinterpret_cast<TTYINFO*>(GetWindowLongPtrA(g_main_window, 0));
}

void HostSetPortRecord(TTYINFO* tty) {
    if (g_main_window != nullptr)
        SetWindowLongPtrA(g_main_window, 0, reinterpret_cast<LONG_PTR>(tty));
}

void HostStartTimer() {
    if (g_main_window != nullptr) SetTimer(g_main_window, TIMER_SEQ, 5, nullptr);
}

void HostStopTimer() {
    if (g_main_window != nullptr) KillTimer(g_main_window, TIMER_SEQ);
}

void HostMessageBox(const char* text) {
    MessageBoxA(g_main_window, text, MAIN_WINDOW_TITLE, MB_OK | MB_ICONEXCLAMATION);
}

void HostPostClose() {
    if (g_main_window != nullptr) PostMessageA(g_main_window, WM_CLOSE, 0, 0);
}

void HostShowAbout() {
    DialogBoxParamA(g_instance, MAKEINTRESOURCEA(IDD_ABOUT), g_main_window, AboutDialogProc, 0);
}

void HostShowSettingsDialog(TTYINFO* tty) {
    DialogBoxParamA(g_instance, MAKEINTRESOURCEA(IDD_SETTINGS), g_main_window, SettingsDialogProc,
                    reinterpret_cast<LPARAM>(tty));
}

void HostShowParamDialog(int dialog_id, TTYINFO* tty) {
    DLGPROC proc = nullptr;
    switch (dialog_id) {
        case IDD_READ_DATA: proc = ReadDataDialogProc; break;
        case IDD_READ_E2: proc = ReadE2DialogProc; break;
        case IDD_WRITE_DATA: proc = WriteDataDialogProc; break;
        default: return;
    }
    DialogBoxParamA(g_instance, MAKEINTRESOURCEA(dialog_id), g_main_window, proc,
                    reinterpret_cast<LPARAM>(tty));
}

int HostChooseImageFile(char* path, int cap) {
    path[0] = '\0';
    OPENFILENAMEA ofn;
    std::memset(&ofn, 0, sizeof(ofn));
    ofn.lStructSize = sizeof(ofn);
    ofn.hwndOwner = g_main_window;
    ofn.lpstrFilter = "*.ENC\0*.ENC\0";
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = path;
    ofn.nMaxFile = static_cast<DWORD>(cap);
    ofn.Flags = OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST;
    return GetOpenFileNameA(&ofn) ? 1 : 0;
}
