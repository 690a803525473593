// Program entry: the window class, the main window and the message loop.
#include <windows.h>

#include "app/main_window.h"
#include "resources/resource_ids.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR, int show) {
    g_instance = instance;
    if (previous == nullptr) RegisterMainClass(instance);
    HACCEL accelerators = LoadAcceleratorsA(instance, MAKEINTRESOURCEA(IDR_ACCELERATORS));

    HWND window = CreateMainWindow(instance);
    // Without a window nothing could ever end the loop: leave at once, with
    // the same exit code as a run that ended normally.
    if (window == nullptr) return 0;
    ShowWindow(window, show);
    UpdateWindow(window);

    MSG msg{};
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        if (!TranslateAcceleratorA(window, accelerators, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    return static_cast<int>(msg.wParam);
}
