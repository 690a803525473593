// Command dispatch: what every menu item, button, accelerator and internal
// command of the main window does. Portable; the window procedure forwards
// WM_COMMAND here.
#pragma once

// Always 0, handled or not.
int DispatchCommand(int id, int notify_code);
