// The About box (dialog IDD_ABOUT).
#pragma once

#include <windows.h>

INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT msg, WPARAM wparam, LPARAM lparam);
