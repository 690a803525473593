// The About box: the template's icon is hidden and the bitmap painted in its
// place; only OK (or Enter) closes the box, Esc and the close box do not.
#include "app/about_box.h"

#include "resources/resource_ids.h"

namespace {

void PaintBitmap(HWND dialog) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(dialog, &ps);
    HDC memory = CreateCompatibleDC(dc);
    if (memory != nullptr) {
        HINSTANCE instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(dialog, GWLP_HINSTANCE));
        HBITMAP bitmap = LoadBitmapA(instance, MAKEINTRESOURCEA(IDB_ABOUT));
        if (bitmap != nullptr) {
            HGDIOBJ previous = SelectObject(memory, bitmap);
            BitBlt(dc, 10, 10, 64, 64, memory, 0, 0, SRCCOPY);
            SelectObject(memory, previous);
            DeleteObject(bitmap);
        }
        DeleteDC(memory);
    }
    EndPaint(dialog, &ps);
}

}  // namespace

INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT msg, WPARAM wparam, LPARAM) {
    switch (msg) {
        case WM_INITDIALOG:
            ShowWindow(GetDlgItem(dialog, IDC_ABOUT_ICON), SW_HIDE);
            return TRUE;
        case WM_PAINT:
            PaintBitmap(dialog);
            return FALSE;
        case WM_COMMAND:
            if (LOWORD(wparam) == IDOK) {
                EndDialog(dialog, 1);
                return TRUE;
            }
            return FALSE;
        default:
            return FALSE;
    }
}
