// The communications settings dialog (template 101, "Setup Settings..."):
// it edits the TTYINFO record given as its creation parameter in place.
// Win32 only.
#pragma once

#include <windows.h>

#include <cstdint>

struct TTYINFO;

// The record is kept as a property of the dialog under the integer atom
// 256: MAKEINTATOM(256), spelled in its ANSI form so that it suits GetPropA
// whether or not UNICODE is defined.
#define SETTINGS_RECORD_PROP (reinterpret_cast<LPCSTR>(static_cast<ULONG_PTR>(256)))

INT_PTR CALLBACK SettingsDialogProc(HWND dialog, UINT msg, WPARAM wparam, LPARAM lparam);

// false when the dialog has no record.
BOOL InitSettingsDialog(HWND dialog);
BOOL ReadSettingsDialog(HWND dialog);
BOOL PickDisplayFont(HWND dialog);

// Appends `count` captions (string ids first_string_id onwards) to a list,
// each with its item data; selects the entry whose data equals `current`.
void FillSettingsCombo(HINSTANCE instance, HWND list, int first_string_id, const uint32_t* item_data,
                       uint16_t count, uint32_t current);
