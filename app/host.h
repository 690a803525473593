// The host seam: everything the portable core needs from the window it runs
// in. The Win32 shell implements it with the main window's controls, timer
// and dialogs; the headless host of the tests with strings and hand-driven
// ticks. All functions run on the window thread only.
#pragma once

struct TTYINFO;

// Text panes and fields, addressed by control id (EDIT_RECV, EDIT_DEBUG,
// EDIT_PROGRESS, EDIT_ENCFILE, EDIT_DEST, EDIT_SIZE). Each replaces the
// control's whole text; a text that cannot be buffered is dropped silently.
void PaneAppend(int pane, const char* text);       // old text, then text
void PanePrependLine(int pane, const char* text);  // text, CR LF, old text
void PaneSetText(int pane, const char* text);
// Copies at most cap - 1 characters of the control's text and terminates
// them; returns the number copied. cap must be at least 1.
int PaneGetText(int pane, char* buffer, int cap);

// The main window's port record (its extra slot); null when it has none.
TTYINFO* GETNPTTYINFO();
void HostSetPortRecord(TTYINFO* tty);

// TIMER_SEQ on the main window, 5 ms period.
void HostStartTimer();
void HostStopTimer();

// Message box owned by the main window: caption "tessmar", exclamation icon, OK.
void HostMessageBox(const char* text);

// Posts WM_CLOSE to the main window.
void HostPostClose();

// Modal dialogs owned by the main window. The parameter dialogs leave their
// answer in DialogResult; the settings dialog edits the record in place.
void HostShowAbout();
void HostShowSettingsDialog(TTYINFO* tty);
void HostShowParamDialog(int dialog_id, TTYINFO* tty);

// The image file choice into `path` (cap characters, emptied first).
// 1 when the user chose a file, 0 otherwise.
int HostChooseImageFile(char* path, int cap);
