// The parameter dialogs of the memory requests: Read Data (108), Read E2
// (111) and Write Data (558). Their only result is DialogResult.
#pragma once

#include <windows.h>

INT_PTR CALLBACK ReadDataDialogProc(HWND dialog, UINT msg, WPARAM wparam, LPARAM lparam);
INT_PTR CALLBACK ReadE2DialogProc(HWND dialog, UINT msg, WPARAM wparam, LPARAM lparam);
INT_PTR CALLBACK WriteDataDialogProc(HWND dialog, UINT msg, WPARAM wparam, LPARAM lparam);
