// Command dispatch. A request command does only its own preparation, sets
// cur_cmd and issues BTN_SEND, which has run to completion when the command
// goes on; housekeeping commands are done here in full.
#include "app/commands.h"

#include <cstdio>
#include <cstring>

#include "app/host.h"
#include "protocol/frame_codec.h"
#include "protocol/memory_requests.h"
#include "resources/resource_ids.h"
#include "sequencer/seqinfo.h"
#include "sequencer/sequencer.h"
#include "sequencer/upgrade.h"
#include "serial/port.h"
#include "store/store.h"

namespace {

// BTN_SEND as the window sends it to itself: notification code 0.
void SendStart() { StartOperation(0); }

void StartRequest(int32_t id) {
    g_seq.cur_cmd = id;
    SendStart();
}

void Connect() {
    TTYINFO* tty = GETNPTTYINFO();
    // A port that is already open is left as it is.
    if (tty == nullptr || tty->connected.load() || !OpenPort(tty)) HostMessageBox("Connection failed.");
}

void Settings() {
    TTYINFO* tty = GETNPTTYINFO();
    if (tty == nullptr) return;
    // OK and Cancel alike: the record is stored and brought to an open port.
    HostShowSettingsDialog(tty);
    StorePortNumber(tty);
    StoreBaudRate(tty);
    if (tty->connected.load() && !ApplyPortSettings(tty)) HostMessageBox("Settings failed!");
}

void ResetAt38400() {
    TTYINFO* tty = GETNPTTYINFO();
    if (tty == nullptr) {
        PanePrependLine(EDIT_DEBUG, "WM_COMMAND: Error, GETNPTTYINFO");
        return;
    }
    PaneSetText(EDIT_RECV, "");
    // Closing first makes BTN_SEND open the port at 38400 and start afresh,
    // even in the middle of another run.
    if (tty->connected.load()) ClosePort(tty);
    tty->baud_rate = 38400;
    g_seq.reset3856 = 1;
    g_seq.cur_cmd = BTN_RESET3856;
    PanePrependLine(EDIT_DEBUG, "Capture the Loader");
    SendStart();
}

// Shows a parameter dialog and reports whether it left an answer. The
// answer is emptied first, so a dialog that could not be shown at all
// never starts an operation with the parameters of an earlier one.
bool AskParameters(int dialog_id) {
    TTYINFO* tty = GETNPTTYINFO();
    if (tty == nullptr) return false;
    DialogResult[0] = '\0';
    HostShowParamDialog(dialog_id, tty);
    return DialogResult[0] != '\0';
}

void ReadFlash() {
    if (!AskParameters(IDD_READ_DATA)) return;
    g_seq.read_addr = static_cast<uint32_t>(HexToInt(DialogResult, 8));
    g_seq.read_remain = HexToInt(DialogResult + 8, 4);
    StartRequest(IDM_READ_FLASH);
}

void PopDebug() {
    PaneSetText(EDIT_DEBUG, "");
    while (TraceCount() != 0) {
        char item[8];
        std::snprintf(item, sizeof item, "%x ", static_cast<unsigned>(TracePop()));
        PaneAppend(EDIT_DEBUG, item);
    }
    PaneAppend(EDIT_DEBUG, "\r\n");
}

void ContinueUpgrade() {
    if (g_seq.log_to_file) TraceLogAppend("Continue\n", 9);
    PanePrependLine(EDIT_DEBUG, "Continue Firmware Upgrade: ");
    SendStart();
}

}  // namespace

int DispatchCommand(int id, int notify_code) {
    switch (id) {
        case IDM_CONNECT:
            Connect();
            break;
        case IDM_DISCONNECT:
            // The sequencer timer keeps running.
            ClosePort(GETNPTTYINFO());
            break;
        case IDM_EXIT:
            HostPostClose();
            break;
        case IDM_SETTINGS:
            Settings();
            break;
        case IDM_ABOUT:
            HostShowAbout();
            break;
        case IDM_TIMER_START:
            HostStartTimer();
            break;
        case IDM_TIMER_STOP:
            HostStopTimer();
            break;
        case IDM_CLEAR_DEBUG:
            PaneSetText(EDIT_DEBUG, " ");
            break;
        case IDM_CLEAR_RECV:
            PaneSetText(EDIT_RECV, " ");
            break;
        case IDM_CLEAR_ALL:
            PaneSetText(EDIT_DEBUG, "");
            PaneSetText(EDIT_RECV, "");
            PaneSetText(EDIT_PROGRESS, "");
            break;
        case BTN_VERSION:
            if (notify_code == 0) StartRequest(BTN_VERSION);
            break;
        case BTN_RESET3856:
            ResetAt38400();
            break;
        case BTN_RESETCMD:
            PaneSetText(EDIT_RECV, "");
            g_seq.reset3856 = 0;
            g_seq.cur_cmd = BTN_RESETCMD;
            PanePrependLine(EDIT_DEBUG, "Capture the RQBP Type Loader");
            SendStart();
            break;
        case BTN_CAP:
            PanePrependLine(EDIT_DEBUG, "Capture: ");
            StartRequest(BTN_CAP);
            break;
        case BTN_FIND:
            if (notify_code == 0) {
                PaneSetText(EDIT_DEBUG, "BTN_FIND");
                PaneSetText(EDIT_RECV, "BTN_FIND\r\n");
                g_seq.cur_cmd = BTN_FIND;
                ChooseImageFile();
            }
            break;
        case ID_FWUG_INPROCESS:
            if (PrepareFirmwareUpgrade()) SendStart();
            break;
        case BTN_GO:
            PanePrependLine(EDIT_DEBUG, "Go Command: ");
            StartRequest(BTN_GO);
            break;
        case BTN_SEND:
            StartOperation(notify_code);
            break;
        case IDM_BL_GET_CRC:
        case IDM_RESET_FLASH_VARS:
        case IDM_GET_SEQ_NUM:
        case IDM_GET_BL_ATTR:
            StartRequest(id);
            break;
        case IDM_APP_RESET:
            PaneSetText(EDIT_RECV, "");
            StartRequest(IDM_APP_RESET);
            break;
        case IDM_READ_FLASH:
            ReadFlash();
            break;
        case IDM_SEND_ONE_WRITE:
            g_seq.cur_cmd = IDM_SEND_ONE_WRITE;
            g_seq.file_offset = 0;
            g_seq.write_seq = 0;
            SendStart();
            break;
        case IDM_CONTINUE_FWUG:
            ContinueUpgrade();
            break;
        case IDM_POP_DEBUG:
            PopDebug();
            break;
        case IDM_READ_EEPROM:
            if (AskParameters(IDD_READ_E2)) StartRequest(IDM_READ_EEPROM);
            break;
        case IDM_WRITE_EEPROM:
            if (AskParameters(IDD_WRITE_DATA)) StartRequest(IDM_WRITE_EEPROM);
            break;
        default:
            // IDM_ABORT_CAPTURE and the edit controls' notifications.
            break;
    }
    return 0;
}
