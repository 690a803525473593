// wine_driver: drives tessmar's main window and its dialogs from another
// process, one sub-command per call, for shell scripts under Wine.
//
// Texts are printed with C escapes (\r, \n, \\, \xHH) so that CR LF line
// ends can be compared in a shell; text arguments are read the same way.
// Every wait has a limit in milliseconds; exit code 0 on success, 1 when the
// condition was not met in time or the window/control is missing, 2 on
// bad usage.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr UINT SEND_TIMEOUT_MS = 5000;
constexpr int DEFAULT_WAIT_MS = 10000;
constexpr DWORD POLL_MS = 20;

std::string Escape(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        if (c == '\r') out += "\\r";
        else if (c == '\n') out += "\\n";
        else if (c == '\\') out += "\\\\";
        else if (c < 0x20 || c >= 0x7F) {
            char hex[8];
            std::snprintf(hex, sizeof(hex), "\\x%02X", c);
            out += hex;
        } else out += static_cast<char>(c);
    }
    return out;
}

std::string Unescape(const char* text) {
    std::string out;
    for (const char* p = text; *p; ++p) {
        if (*p != '\\' || p[1] == '\0') {
            out += *p;
            continue;
        }
        ++p;
        switch (*p) {
            case 'r': out += '\r'; break;
            case 'n': out += '\n'; break;
            case 't': out += '\t'; break;
            case '\\': out += '\\'; break;
            case 'x':
                if (p[1] && p[2]) {
                    char hex[3] = {p[1], p[2], 0};
                    out += static_cast<char>(std::strtol(hex, nullptr, 16));
                    p += 2;
                }
                break;
            default: out += '\\'; out += *p; break;
        }
    }
    return out;
}

int Number(const char* text) { return static_cast<int>(std::strtol(text, nullptr, 0)); }

HWND MainWindow() { return FindWindowA("tessmar_Class", "tessmar"); }

HWND Dialog(const char* caption) {
    HWND dialog = FindWindowA("#32770", caption);
    return dialog != nullptr && IsWindowVisible(dialog) ? dialog : nullptr;
}

template <typename F>
bool WaitFor(int limit_ms, F condition) {
    DWORD start = GetTickCount();
    for (;;) {
        if (condition()) return true;
        if (static_cast<int>(GetTickCount() - start) >= limit_ms) return false;
        Sleep(POLL_MS);
    }
}

bool ReadText(HWND window, std::string* text) {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutA(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, SEND_TIMEOUT_MS, &length))
        return false;
    std::vector<char> buffer(length + 2, '\0');
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutA(window, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()),
                             SMTO_ABORTIFHUNG, SEND_TIMEOUT_MS, &copied))
        return false;
    text->assign(buffer.data(), copied);
    return true;
}

bool WriteText(HWND window, const std::string& text) {
    DWORD_PTR result = 0;
    return SendMessageTimeoutA(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()),
                               SMTO_ABORTIFHUNG, SEND_TIMEOUT_MS, &result) != 0;
}

LRESULT Send(HWND window, UINT msg, WPARAM wparam, LPARAM lparam, bool* ok = nullptr) {
    DWORD_PTR result = 0;
    BOOL sent = SendMessageTimeoutA(window, msg, wparam, lparam, SMTO_ABORTIFHUNG, SEND_TIMEOUT_MS, &result);
    if (ok) *ok = sent != 0;
    return static_cast<LRESULT>(result);
}

std::string ClassOf(HWND window) {
    char name[128] = "";
    GetClassNameA(window, name, sizeof(name));
    return name;
}

int Fail(const char* what) {
    std::fprintf(stderr, "wine_driver: %s\n", what);
    return 1;
}

HWND RequireMain() { return MainWindow(); }

HWND Control(HWND parent, int id) { return parent ? GetDlgItem(parent, id) : nullptr; }

struct CHILD_LIST {
    HWND parent;
    std::vector<HWND> children;
};

BOOL CALLBACK CollectChild(HWND child, LPARAM data) {
    CHILD_LIST* list = reinterpret_cast<CHILD_LIST*>(data);
    if (GetParent(child) == list->parent) list->children.push_back(child);
    return TRUE;
}

// One line per direct child: id class style x y width height "caption",
// the rectangle in the parent's client coordinates.
int PrintControls(HWND parent) {
    CHILD_LIST list{parent, {}};
    EnumChildWindows(parent, CollectChild, reinterpret_cast<LPARAM>(&list));
    for (HWND child : list.children) {
        RECT r;
        GetWindowRect(child, &r);
        POINT top_left{r.left, r.top};
        ScreenToClient(parent, &top_left);
        std::string caption;
        ReadText(child, &caption);
        LONG style = GetWindowLongA(child, GWL_STYLE);
        std::printf("%d %s 0x%08lX %ld %ld %ld %ld \"%s\"\n", GetDlgCtrlID(child), ClassOf(child).c_str(),
                    static_cast<unsigned long>(style), static_cast<long>(top_left.x),
                    static_cast<long>(top_left.y), static_cast<long>(r.right - r.left),
                    static_cast<long>(r.bottom - r.top), Escape(caption).c_str());
    }
    return 0;
}

int PrintCombo(HWND combo) {
    bool ok = false;
    LRESULT count = Send(combo, CB_GETCOUNT, 0, 0, &ok);
    if (!ok) return Fail("combo does not answer");
    LRESULT selected = Send(combo, CB_GETCURSEL, 0, 0);
    std::printf("count %ld selected %ld\n", static_cast<long>(count), static_cast<long>(selected));
    for (LRESULT i = 0; i < count; ++i) {
        // The ANSI form loses all but the first character across processes.
        LRESULT length = SendMessageW(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0);
        std::vector<wchar_t> wide(static_cast<size_t>(length > 0 ? length : 0) + 2, L'\0');
        SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(wide.data()));
        char text[256] = "";
        WideCharToMultiByte(CP_ACP, 0, wide.data(), -1, text, sizeof(text), nullptr, nullptr);
        LRESULT data = Send(combo, CB_GETITEMDATA, static_cast<WPARAM>(i), 0);
        std::printf("%ld %ld %s\n", static_cast<long>(i), static_cast<long>(data), Escape(text).c_str());
    }
    return 0;
}

// Presses a button of a window by posting its command, as a click would:
// posting keeps this process free when the press opens another modal box.
// A notification code other than BN_CLICKED tells the dialog of another
// change, such as CBN_SELCHANGE (1) after a list's selection was set.
void Press(HWND window, int id, int code = BN_CLICKED) {
    HWND control = GetDlgItem(window, id);
    PostMessageA(window, WM_COMMAND, MAKEWPARAM(id, code), reinterpret_cast<LPARAM>(control));
}

BOOL CALLBACK FindStaticText(HWND child, LPARAM data) {
    std::string* text = reinterpret_cast<std::string*>(data);
    if (ClassOf(child) == "Static" && GetDlgCtrlID(child) == 0xFFFF) {
        ReadText(child, text);
        return FALSE;
    }
    return TRUE;
}

// The edit of the file dialog's name box: ComboBoxEx32 (1148) -> ComboBox -> Edit,
// or the plain edit (1152) of the older layout.
HWND FileNameEdit(HWND dialog) {
    HWND box = GetDlgItem(dialog, 1148);
    if (box != nullptr) {
        HWND inner = box;
        if (ClassOf(inner) == "ComboBoxEx32") inner = FindWindowExA(inner, nullptr, "ComboBox", nullptr);
        if (inner != nullptr && ClassOf(inner) == "ComboBox") {
            HWND edit = FindWindowExA(inner, nullptr, "Edit", nullptr);
            if (edit != nullptr) return edit;
        }
        if (ClassOf(box) == "Edit") return box;
    }
    return GetDlgItem(dialog, 1152);
}

void Usage() {
    std::fprintf(stderr,
        "usage: wine_driver COMMAND [ARGS]\n"
        "  find [MS]                       wait until the main window is shown\n"
        "  gone [MS]                       wait until the main window has gone\n"
        "  controls                        children of the main window\n"
        "  text ID                         text of a control\n"
        "  wait-text ID TEXT [MS]          wait until the control's text contains TEXT\n"
        "  wait-equal ID TEXT [MS]         wait until the control's text is TEXT\n"
        "  set-text ID TEXT\n"
        "  send ID [CODE]                  WM_COMMAND, waits until handled\n"
        "  post ID [CODE]                  WM_COMMAND, returns at once\n"
        "  close                           post WM_CLOSE\n"
        "  maximize | restore              the main window's size\n"
        "  redraw                          paint the main window again\n"
        "  screen-rect [ID]                x y w h of a control (or the window) on the screen\n"
        "  dlg-wait CAPTION [MS] | dlg-gone CAPTION [MS]\n"
        "  dlg-controls CAPTION | dlg-text CAPTION ID | dlg-set CAPTION ID TEXT\n"
        "  dlg-press CAPTION ID [CODE]     post a press (or another notification)\n"
        "  dlg-send CAPTION ID             send a press, return once handled\n"
        "  dlg-close CAPTION               the close box, return once handled\n"
        "  combo CAPTION ID | combo-select CAPTION ID INDEX\n"
        "  check CAPTION ID [0|1] | enabled CAPTION ID\n"
        "  msgbox CAPTION [MS]             wait for a message box, print its text, press OK\n"
        "  open-file PATH [MS]             answer the file-open dialog with PATH\n");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        Usage();
        return 2;
    }
    const std::string cmd = argv[1];
    auto arg = [&](int i) -> const char* { return i < argc ? argv[i] : nullptr; };
    auto wait_ms = [&](int i) { return arg(i) ? Number(arg(i)) : DEFAULT_WAIT_MS; };

    if (cmd == "find") {
        // Visible only once WM_CREATE has built every control and WinMain
        // has shown it; found earlier, it may still be half made.
        return WaitFor(wait_ms(2), [] { HWND w = MainWindow(); return w != nullptr && IsWindowVisible(w); })
                   ? 0
                   : Fail("no main window");
    }
    if (cmd == "gone") {
        return WaitFor(wait_ms(2), [] { return MainWindow() == nullptr; }) ? 0 : Fail("main window still there");
    }
    if (cmd == "maximize" || cmd == "restore") {
        HWND main = RequireMain();
        if (!main) return Fail("no main window");
        Send(main, WM_SYSCOMMAND, cmd == "maximize" ? SC_MAXIMIZE : SC_RESTORE, 0);
        return 0;
    }
    if (cmd == "redraw") {
        HWND main = RequireMain();
        if (!main) return Fail("no main window");
        RedrawWindow(main, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
        return 0;
    }
    if (cmd == "close") {
        HWND main = RequireMain();
        if (!main) return Fail("no main window");
        PostMessageA(main, WM_CLOSE, 0, 0);
        return 0;
    }
    if (cmd == "controls") {
        HWND main = RequireMain();
        return main ? PrintControls(main) : Fail("no main window");
    }
    if ((cmd == "text" || cmd == "set-text" || cmd == "wait-text" || cmd == "wait-equal") && arg(2)) {
        HWND control = Control(RequireMain(), Number(arg(2)));
        if (!control) return Fail("no such control");
        std::string text;
        if (cmd == "text") {
            if (!ReadText(control, &text)) return Fail("no answer");
            std::printf("%s\n", Escape(text).c_str());
            return 0;
        }
        if (!arg(3)) { Usage(); return 2; }
        const std::string wanted = Unescape(arg(3));
        if (cmd == "set-text") return WriteText(control, wanted) ? 0 : Fail("no answer");
        bool equal = cmd == "wait-equal";
        bool met = WaitFor(wait_ms(4), [&] {
            return ReadText(control, &text) && (equal ? text == wanted : text.find(wanted) != std::string::npos);
        });
        std::printf("%s\n", Escape(text).c_str());
        return met ? 0 : Fail("text not reached in time");
    }
    if ((cmd == "send" || cmd == "post") && arg(2)) {
        HWND main = RequireMain();
        if (!main) return Fail("no main window");
        WPARAM wparam = MAKEWPARAM(Number(arg(2)), arg(3) ? Number(arg(3)) : 0);
        if (cmd == "post") return PostMessageA(main, WM_COMMAND, wparam, 0) ? 0 : Fail("post failed");
        // Long operations (an upgrade start) are still fine: only the
        // handler's own work is waited for, not the run it starts.
        DWORD_PTR result = 0;
        return SendMessageTimeoutA(main, WM_COMMAND, wparam, 0, SMTO_NORMAL, 30000, &result) ? 0
                                                                                            : Fail("not handled");
    }
    if (cmd == "screen-rect") {
        HWND window = RequireMain();
        if (window && arg(2)) window = Control(window, Number(arg(2)));
        if (!window) return Fail("no such window");
        RECT r;
        GetWindowRect(window, &r);
        std::printf("%ld %ld %ld %ld\n", static_cast<long>(r.left), static_cast<long>(r.top),
                    static_cast<long>(r.right - r.left), static_cast<long>(r.bottom - r.top));
        return 0;
    }
    if (cmd == "open-file" && arg(2)) {
        HWND dialog = nullptr;
        if (!WaitFor(wait_ms(3), [&] { return (dialog = Dialog("Open")) != nullptr && FileNameEdit(dialog); }))
            return Fail("no file dialog");
        if (!WriteText(FileNameEdit(dialog), Unescape(arg(2)))) return Fail("name box does not answer");
        Press(dialog, IDOK);
        return 0;
    }
    if (cmd == "msgbox" && arg(2)) {
        HWND box = nullptr;
        if (!WaitFor(wait_ms(3), [&] { return (box = Dialog(arg(2))) != nullptr; })) return Fail("no message box");
        std::string text;
        // The box may still be filling its controls when it first shows.
        WaitFor(10000, [&] {
            text.clear();
            EnumChildWindows(box, FindStaticText, reinterpret_cast<LPARAM>(&text));
            return !text.empty();
        });
        std::printf("%s\n", Escape(text).c_str());
        Press(box, IDOK);
        return 0;
    }
    if (cmd.rfind("dlg-", 0) == 0 || cmd == "combo" || cmd == "combo-select" || cmd == "check" || cmd == "enabled") {
        if (!arg(2)) { Usage(); return 2; }
        const char* caption = arg(2);
        if (cmd == "dlg-wait")
            return WaitFor(wait_ms(3), [&] { return Dialog(caption) != nullptr; }) ? 0 : Fail("no such dialog");
        if (cmd == "dlg-gone")
            return WaitFor(wait_ms(3), [&] { return Dialog(caption) == nullptr; }) ? 0 : Fail("dialog still open");
        HWND dialog = Dialog(caption);
        if (!dialog) return Fail("no such dialog");
        if (cmd == "dlg-controls") return PrintControls(dialog);
        if (cmd == "dlg-close") {
            // Sent, not posted: the box has handled it when this returns.
            bool ok = false;
            Send(dialog, WM_SYSCOMMAND, SC_CLOSE, 0, &ok);
            return ok ? 0 : Fail("no answer");
        }
        if (!arg(3)) { Usage(); return 2; }
        const int id = Number(arg(3));
        HWND control = GetDlgItem(dialog, id);
        if (cmd == "dlg-send") {
            // For presses that open no further modal box: handled on return.
            bool ok = false;
            Send(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(control), &ok);
            return ok ? 0 : Fail("no answer");
        }
        if (cmd == "dlg-press") {
            Press(dialog, id, arg(4) ? Number(arg(4)) : BN_CLICKED);
            return 0;
        }
        if (!control) return Fail("no such control");
        if (cmd == "dlg-text") {
            std::string text;
            if (!ReadText(control, &text)) return Fail("no answer");
            std::printf("%s\n", Escape(text).c_str());
            return 0;
        }
        if (cmd == "dlg-set" && arg(4)) return WriteText(control, Unescape(arg(4))) ? 0 : Fail("no answer");
        if (cmd == "combo") return PrintCombo(control);
        if (cmd == "combo-select" && arg(4)) {
            Send(control, CB_SETCURSEL, static_cast<WPARAM>(Number(arg(4))), 0);
            return 0;
        }
        if (cmd == "check") {
            if (arg(4)) {
                Send(control, BM_SETCHECK, Number(arg(4)) ? BST_CHECKED : BST_UNCHECKED, 0);
                return 0;
            }
            std::printf("%ld\n", static_cast<long>(Send(control, BM_GETCHECK, 0, 0)));
            return 0;
        }
        if (cmd == "enabled") {
            std::printf("%d\n", IsWindowEnabled(control) ? 1 : 0);
            return 0;
        }
    }
    Usage();
    return 2;
}
