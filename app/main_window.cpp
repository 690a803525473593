// The main window procedure: creation of the controls, the painted labels,
// teardown, and the hand-over of commands and timer ticks to the core.
#include "app/main_window.h"

#include <cstring>

#include "app/commands.h"
#include "app/host.h"
#include "resources/resource_ids.h"
#include "sequencer/seqinfo.h"
#include "sequencer/sequencer.h"
#include "serial/port.h"
#include "store/store.h"

HWND g_main_window = nullptr;
HINSTANCE g_instance = nullptr;

namespace {

constexpr DWORD STYLE_PANE = WS_CHILD | WS_VISIBLE | WS_BORDER | WS_VSCROLL | ES_MULTILINE;
constexpr DWORD STYLE_FIELD = WS_CHILD | WS_VISIBLE | WS_BORDER;
constexpr DWORD STYLE_BUTTON = WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON;

struct CHILD_SPEC {
    int id;
    const char* cls;
    const char* caption;
    DWORD style;
    int x, y, width, height;
};

// In creation order; the Destination is restored between the two groups, so
// that EDIT_DEST exists when the stored text is put into it.
constexpr CHILD_SPEC FIRST_CHILDREN[] = {
    {EDIT_RECV, "edit", nullptr, STYLE_PANE, 0, 5, 440, 90},
    {EDIT_DEBUG, "edit", nullptr, STYLE_PANE, 0, 100, 440, 200},
    {EDIT_PROGRESS, "edit", nullptr, STYLE_PANE, 0, 305, 440, 200},
    {EDIT_ENCFILE, "edit", nullptr, STYLE_FIELD, 0, 510, 800, 25},
    {BTN_CAP, "button", "Capture", STYLE_BUTTON, 445, 40, 150, 30},
    {BTN_FIND, "button", "Find Enc File", STYLE_BUTTON, 445, 5, 150, 30},
    {ID_FWUG_INPROCESS, "button", "Firmware Upgrade", STYLE_BUTTON, 445, 75, 150, 30},
    {BTN_GO, "button", "G cmd", STYLE_BUTTON, 445, 110, 150, 30},
    {EDIT_DEST, "edit", nullptr, STYLE_FIELD, 445, 170, 200, 25},
};
constexpr CHILD_SPEC SECOND_CHILDREN[] = {
    {BTN_RESETCMD, "button", "RQBP vR6 Reset Cmd", STYLE_BUTTON, 445, 200, 200, 35},
    {EDIT_SIZE, "edit", nullptr, STYLE_FIELD, 445, 265, 200, 25},
    {BTN_VERSION, "button", "Version", STYLE_BUTTON, 445, 295, 150, 35},
    {BTN_RESET3856, "button", "Reset 38->56", STYLE_BUTTON, 445, 335, 150, 35},
};
constexpr int CHILD_COUNT = sizeof(FIRST_CHILDREN) / sizeof(FIRST_CHILDREN[0]) +
                            sizeof(SECOND_CHILDREN) / sizeof(SECOND_CHILDREN[0]);

struct CHILD_HANDLE {
    int id;
    HWND hwnd;
};
// Window thread only: written at creation, cleared at teardown.
CHILD_HANDLE g_children[CHILD_COUNT];
int g_child_count = 0;

struct LABEL {
    const char* text;
    int x, y;
};
constexpr LABEL LABELS[] = {
    {"Destination", 445, 155},
    {"Data Size, Decimal", 445, 250},
    {"Feb 7, 2018", 830, 515},
};

void CreateChildren(HWND parent, HINSTANCE instance, const CHILD_SPEC* specs, int count) {
    for (int i = 0; i < count; ++i) {
        const CHILD_SPEC& c = specs[i];
        HWND child = CreateWindowExA(0, c.cls, c.caption, c.style, c.x, c.y, c.width, c.height,
                                     parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(c.id)),
                                     instance, nullptr);
        if (g_child_count < CHILD_COUNT) g_children[g_child_count++] = {c.id, child};
    }
}

LRESULT OnCreate(HWND hwnd, const CREATESTRUCTA* cs) {
    g_main_window = hwnd;
    HINSTANCE instance = cs->hInstance;

    InitSeqInfo();
    TraceQueueReset();

    g_child_count = 0;
    CreateChildren(hwnd, instance, FIRST_CHILDREN, sizeof(FIRST_CHILDREN) / sizeof(FIRST_CHILDREN[0]));
    FileInit();
    RestoreDestination();
    CreateChildren(hwnd, instance, SECOND_CHILDREN, sizeof(SECOND_CHILDREN) / sizeof(SECOND_CHILDREN[0]));

    PaneSetText(EDIT_SIZE, "256");
    g_seq.chunk_size = 20;

    TTYINFO* tty = nullptr;
    if (InitPortRecord(&tty) != 1 || tty == nullptr) return -1;
    HostSetPortRecord(tty);

    RestorePortNumber(tty);
    RestoreBaudRate(tty);
    return 0;
}

void OnPaint(HWND hwnd) {
    TTYINFO* tty = GETNPTTYINFO();
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    HGDIOBJ previous = nullptr;
    if (tty != nullptr && tty->display_font != nullptr)
        previous = SelectObject(dc, static_cast<HFONT>(tty->display_font));
    SetTextColor(dc, tty != nullptr ? static_cast<COLORREF>(tty->text_color) : RGB(0, 0, 0));
    SetBkColor(dc, GetSysColor(COLOR_WINDOW));
    for (const LABEL& label : LABELS)
        TextOutA(dc, label.x, label.y, label.text, static_cast<int>(std::strlen(label.text)));
    if (previous != nullptr) SelectObject(dc, previous);
    EndPaint(hwnd, &ps);
}

void OnDestroy() {
    SaveDestination();  // only a Destination of at least 7 characters is kept
    TTYINFO* tty = GETNPTTYINFO();
    if (tty != nullptr) {
        FreePortRecord(tty);
        // A stale address in the slot would outlive the record.
        HostSetPortRecord(nullptr);
    }
    PostQuitMessage(0);
    g_child_count = 0;
    g_main_window = nullptr;
}

}  // namespace

void RegisterMainClass(HINSTANCE instance) {
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

HWND CreateMainWindow(HINSTANCE instance) {
    return CreateWindowExA(0, MAIN_CLASS_NAME, MAIN_WINDOW_TITLE, WS_OVERLAPPEDWINDOW, 200, 200, 1000, 600,
                           nullptr, nullptr, instance, nullptr);
}

HWND ControlHandle(int id) {
    for (int i = 0; i < g_child_count; ++i)
        if (g_children[i].id == id) return g_children[i].hwnd;
    return nullptr;
}

LRESULT CALLBACK MainWindowProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
    switch (msg) {
        case WM_CREATE:
            return OnCreate(hwnd, reinterpret_cast<const CREATESTRUCTA*>(lparam));
        case WM_DESTROY:
            OnDestroy();
            return 0;
        case WM_PAINT:
            OnPaint(hwnd);
            return 0;
        case WM_COMMAND:
            DispatchCommand(LOWORD(wparam), HIWORD(wparam));
            return 0;
        case WM_TIMER:
            SequencerTick(static_cast<int>(wparam));
            return 0;
        case WM_SIZE:
        case WM_SETFOCUS:
        case WM_KILLFOCUS:
        case WM_CHAR:
        case WM_HSCROLL:
            return 0;
        default:
            return DefWindowProcA(hwnd, msg, wparam, lparam);
    }
}
