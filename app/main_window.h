// The main window: its class, its procedure and the handles of its child
// controls. Win32 only.
#pragma once

#include <windows.h>

constexpr const char* MAIN_CLASS_NAME = "tessmar_Class";
constexpr const char* MAIN_WINDOW_TITLE = "tessmar";

// The main window once WM_CREATE has begun; null before and after its life.
extern HWND g_main_window;
extern HINSTANCE g_instance;

LRESULT CALLBACK MainWindowProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam);

// Registers "tessmar_Class" (the result is not examined) and creates the
// main window, which sends WM_CREATE; null when creation failed.
void RegisterMainClass(HINSTANCE instance);
HWND CreateMainWindow(HINSTANCE instance);

// The handle of a child control of the main window by its id, null for an
// id the window does not have.
HWND ControlHandle(int id);
