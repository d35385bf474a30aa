#include "ui/message_win.h"

#include <atomic>

#include "engine/messages.h"
#include "resource.h"
#include "ui/dialog.h"
#include "ui/folders_win.h"
#include "win/wide_win.h"

namespace {

// One box at a time across threads. The owner may nest further boxes (each keeps its own
// request), other threads wait - running the messages sent to them meanwhile, so that a
// window they own never blocks the box's owner.
CRITICAL_SECTION gBoxLock;
HANDLE gBoxFree = nullptr;
DWORD gOwner = 0;
int gDepth = 0;
std::atomic<int> gOpenBoxes{0};

struct BoxData {
    const MessageRequest* request;
    HFONT large;
    HFONT small;
    MessageAnswer answer;
    int templateTextHeight; // the text's height as the template lays it out
};

BOOL CALLBACK initialiseLock(PINIT_ONCE, PVOID, PVOID*) {
    InitializeCriticalSection(&gBoxLock);
    gBoxFree = CreateEventW(nullptr, FALSE, TRUE, nullptr);
    return TRUE;
}

void initialiseOnce() {
    static INIT_ONCE once = INIT_ONCE_STATIC_INIT;
    InitOnceExecuteOnce(&once, initialiseLock, nullptr, nullptr);
}

void acquireBox() {
    initialiseOnce();
    DWORD me = GetCurrentThreadId();
    EnterCriticalSection(&gBoxLock);
    if (gDepth > 0 && gOwner == me) {
        ++gDepth;
        LeaveCriticalSection(&gBoxLock);
        return;
    }
    LeaveCriticalSection(&gBoxLock);
    for (;;) {
        DWORD r = MsgWaitForMultipleObjects(1, &gBoxFree, FALSE, INFINITE, QS_SENDMESSAGE);
        if (r == WAIT_OBJECT_0) {
            break;
        }
        MSG msg;
        PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
    EnterCriticalSection(&gBoxLock);
    gOwner = me;
    gDepth = 1;
    LeaveCriticalSection(&gBoxLock);
}

void releaseBox() {
    EnterCriticalSection(&gBoxLock);
    bool last = --gDepth == 0;
    if (last) {
        gOwner = 0;
    }
    LeaveCriticalSection(&gBoxLock);
    if (last) {
        SetEvent(gBoxFree);
    }
}

// WM_DPICHANGED, which the headers of this program's oldest system do not name.
constexpr UINT kDpiChanged = 0x02E0;

// The box's DPI: its monitor's where the system tells it (Windows 10 1607 and later), else the
// system's.
UINT windowDpi(HWND window) {
    using DpiForWindow = UINT(WINAPI*)(HWND);
    static const auto dpiForWindow = reinterpret_cast<DpiForWindow>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    if (dpiForWindow) {
        if (UINT dpi = dpiForWindow(window)) {
            return dpi;
        }
    }
    HDC screen = GetDC(nullptr);
    int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 0;
    if (screen) {
        ReleaseDC(nullptr, screen);
    }
    return dpi > 0 ? UINT(dpi) : USER_DEFAULT_SCREEN_DPI;
}

// The heights are pixels at 96 DPI; the program is DPI aware, so they grow with the screen's.
HFONT arialFont(int height, UINT dpi) {
    return CreateFontW(MulDiv(height, int(dpi), USER_DEFAULT_SCREEN_DPI), 0, 0, 0, 50, FALSE, FALSE, FALSE,
                       DEFAULT_CHARSET, 0, 0, 0, 0, L"Arial");
}

void setFonts(HWND box, BoxData* data, UINT dpi) {
    HFONT oldLarge = data->large;
    HFONT oldSmall = data->small;
    data->large = arialFont(20, dpi);
    data->small = arialFont(16, dpi);
    SendDlgItemMessageW(box, IDB_MESSAGE_YES, WM_SETFONT, WPARAM(data->large), TRUE);
    SendDlgItemMessageW(box, IDB_MESSAGE_NO, WM_SETFONT, WPARAM(data->large), TRUE);
    SendDlgItemMessageW(box, IDE_MESSAGE_TEXT, WM_SETFONT,
                        WPARAM(data->request->compact ? data->small : data->large), TRUE);
    if (oldLarge) {
        DeleteObject(oldLarge);
    }
    if (oldSmall) {
        DeleteObject(oldSmall);
    }
}

int heightOf(HWND window) {
    RECT r;
    GetWindowRect(window, &r);
    return r.bottom - r.top;
}

void moveBy(HWND box, HWND control, int down) {
    RECT r;
    GetWindowRect(control, &r);
    MapWindowPoints(nullptr, box, reinterpret_cast<POINT*>(&r), 2);
    SetWindowPos(control, nullptr, r.left, r.top + down, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// The whole text is shown, at any DPI and with any path in it: the text field and the box grow
// downwards to the text's height (never below the template's), the buttons moving with them,
// as far as the screen's work area allows; only what would not fit even then scrolls.
void fitText(HWND box, BoxData* data) {
    HWND text = GetDlgItem(box, IDE_MESSAGE_TEXT);
    HDC dc = GetDC(text);
    HGDIOBJ old = SelectObject(dc, data->request->compact ? data->small : data->large);
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    SelectObject(dc, old);
    ReleaseDC(text, dc);
    RECT client;
    RECT format;
    GetClientRect(text, &client);
    SendMessageW(text, EM_GETRECT, 0, LPARAM(&format));
    const int lines = int(SendMessageW(text, EM_GETLINECOUNT, 0, 0));
    const int margins = (client.bottom - client.top) - (format.bottom - format.top);
    int wanted = lines * metrics.tmHeight + margins;
    if (wanted < data->templateTextHeight) {
        wanted = data->templateTextHeight;
    }
    int grow = wanted - heightOf(text);

    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromWindow(box, MONITOR_DEFAULTTOPRIMARY), &monitor);
    const RECT& work = monitor.rcWork;
    RECT frame;
    GetWindowRect(box, &frame);
    const int room = (work.bottom - work.top) - (frame.bottom - frame.top);
    const bool scrolls = grow > room;
    if (scrolls) {
        grow = room;
    }
    LONG_PTR style = GetWindowLongPtrW(text, GWL_STYLE);
    LONG_PTR wantedStyle = scrolls ? (style | WS_VSCROLL) : (style & ~LONG_PTR(WS_VSCROLL));
    if (wantedStyle != style) {
        SetWindowLongPtrW(text, GWL_STYLE, wantedStyle);
        SetWindowPos(text, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_FRAMECHANGED);
    }
    if (grow == 0) {
        return;
    }
    RECT t;
    GetWindowRect(text, &t);
    SetWindowPos(text, nullptr, 0, 0, t.right - t.left, (t.bottom - t.top) + grow,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    moveBy(box, GetDlgItem(box, IDB_MESSAGE_YES), grow);
    moveBy(box, GetDlgItem(box, IDB_MESSAGE_NO), grow);
    // Centred on its screen again, and wholly on it.
    const int width = frame.right - frame.left;
    const int height = (frame.bottom - frame.top) + grow;
    int top = frame.top - grow / 2;
    if (top + height > work.bottom) {
        top = work.bottom - height;
    }
    if (top < work.top) {
        top = work.top;
    }
    SetWindowPos(box, nullptr, frame.left, top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

void closeBox(HWND box, BoxData* data, MessageAnswer answer) {
    data->answer = answer;
    // The controls let go of the fonts before they are destroyed.
    SendDlgItemMessageW(box, IDE_MESSAGE_TEXT, WM_SETFONT, 0, FALSE);
    SendDlgItemMessageW(box, IDB_MESSAGE_YES, WM_SETFONT, 0, FALSE);
    SendDlgItemMessageW(box, IDB_MESSAGE_NO, WM_SETFONT, 0, FALSE);
    DeleteObject(data->large);
    DeleteObject(data->small);
    data->large = data->small = nullptr;
    EndDialog(box, 0);
}

INT_PTR CALLBACK messageBoxProc(HWND box, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* data = reinterpret_cast<BoxData*>(GetWindowLongPtrW(box, DWLP_USER));
    switch (message) {
    case WM_INITDIALOG: {
        data = reinterpret_cast<BoxData*>(lParam);
        SetWindowLongPtrW(box, DWLP_USER, LONG_PTR(data));
        SetWindowPos(box, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE);
        winSetItemText(box, IDE_MESSAGE_TEXT, data->request->text);
        winSetItemText(box, IDB_MESSAGE_YES, data->request->yesText);
        winSetItemText(box, IDB_MESSAGE_NO, data->request->noText);
        data->templateTextHeight = heightOf(GetDlgItem(box, IDE_MESSAGE_TEXT));
        setFonts(box, data, windowDpi(box));
        fitText(box, data);
        // Enter, like Esc, first gives the harmless answer: a key still held down from the
        // window (Enter on Go) must not confirm an overwrite.
        int first = data->request->harmless == AnswerYes ? IDB_MESSAGE_YES : IDB_MESSAGE_NO;
        SendMessageW(box, DM_SETDEFID, WPARAM(first), 0);
        SetFocus(GetDlgItem(box, first));
        return FALSE; // the focus is set
    }
    case kDpiChanged:
        // Moved to a screen of another DPI: the dialog rescales itself, its fonts are ours, and
        // the text is fitted to them again.
        setFonts(box, data, LOWORD(wParam));
        fitText(box, data);
        return FALSE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDB_MESSAGE_YES:
            closeBox(box, data, AnswerYes);
            return TRUE;
        case IDB_MESSAGE_NO:
            closeBox(box, data, AnswerNo);
            return TRUE;
        case IDCANCEL: // Esc
            closeBox(box, data, data->request->harmless);
            return TRUE;
        }
        break;
    }
    return FALSE;
}

} // namespace

MessageAnswer showMessage(HWND parent, const MessageRequest& request) {
    acquireBox();
    ++gOpenBoxes;
    BoxData data{&request, nullptr, nullptr, AnswerNo, 0};
    INT_PTR shown = DialogBoxParamW(gPlace.instance ? gPlace.instance : GetModuleHandleW(nullptr),
                                    MAKEINTRESOURCEW(IDD_MESSAGE), parent, messageBoxProc, LPARAM(&data));
    if (shown == -1) {
        data.answer = AnswerYes; // no box could be shown: go on as after "OK"
    }
    --gOpenBoxes;
    releaseBox();
    return data.answer;
}

bool messageBoxOpen() {
    return gOpenBoxes.load() > 0;
}

void requestQuit() {
    HWND main = static_cast<HWND>(gState.mainWindow.load());
    if (main) {
        PostMessageW(main, WM_COMMAND, MAKEWPARAM(IDB_CLOSE, BN_CLICKED), 0);
    }
}

void showError(HWND parent, const char* text, bool compact) {
    if (showMessage(parent, MessageRequest{text, kOk, kQuit, compact, AnswerYes}) == AnswerNo) {
        requestQuit();
    }
}

void showAdvice(HWND parent, const char* text) {
    if (showMessage(parent, MessageRequest{text, kOk, kOpenReadMe, 1, AnswerYes}) == AnswerNo) {
        openReadMe();
    }
}
