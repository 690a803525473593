// Program entry: the window class, the main window and the message loop.
#include <windows.h>

#include "app/main_window.h"
#include "resources/resource_ids.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR, int show) {
    g_instance = instance;
    if (previous == nullptr) {
        WNDCLASSA wc{};
        wc.style = 0;
        wc.lpfnWndProc = MainWindowProc;
        wc.cbClsExtra = 0;
        wc.cbWndExtra = sizeof(LONG_PTR);  // slot 0: the window's TTYINFO
        wc.hInstance = instance;
        wc.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_MAIN));
        wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
        wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_MENU + 1));
        wc.lpszMenuName = MAKEINTRESOURCEA(IDR_MAINMENU);
        wc.lpszClassName = MAIN_CLASS_NAME;
        RegisterClassA(&wc);
    }
    HACCEL accelerators = LoadAcceleratorsA(instance, MAKEINTRESOURCEA(IDR_ACCELERATORS));

    HWND window = CreateWindowExA(0, MAIN_CLASS_NAME, MAIN_WINDOW_TITLE, WS_OVERLAPPEDWINDOW,
                                  200, 200, 1000, 600, nullptr, nullptr, instance, nullptr);
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
