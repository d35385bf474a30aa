#include "app/message_win.h"

#include <atomic>

#include "app/startup_win.h"
#include "engine/job.h"
#include "engine/messages.h"
#include "resource.h"

namespace {

// One box at a time across threads. The owner may nest further boxes (each keeps its own
// request), other threads wait - running the messages sent to them meanwhile, so that a
// window they own never blocks the box's owner.
CRITICAL_SECTION gStateLock;
HANDLE gBoxFree = nullptr;
DWORD gOwner = 0;
int gDepth = 0;
std::atomic<int> gOpenBoxes{0};

struct BoxData {
    const MessageRequest* request;
    HFONT large;
    HFONT small;
    MessageAnswer answer;
};

BOOL CALLBACK initialiseLock(PINIT_ONCE, PVOID, PVOID*) {
    InitializeCriticalSection(&gStateLock);
    gBoxFree = CreateEventA(nullptr, FALSE, TRUE, nullptr);
    return TRUE;
}

void initialiseOnce() {
    static INIT_ONCE once = INIT_ONCE_STATIC_INIT;
    InitOnceExecuteOnce(&once, initialiseLock, nullptr, nullptr);
}

void acquireBox() {
    initialiseOnce();
    DWORD me = GetCurrentThreadId();
    EnterCriticalSection(&gStateLock);
    if (gDepth > 0 && gOwner == me) {
        ++gDepth;
        LeaveCriticalSection(&gStateLock);
        return;
    }
    LeaveCriticalSection(&gStateLock);
    for (;;) {
        DWORD r = MsgWaitForMultipleObjects(1, &gBoxFree, FALSE, INFINITE, QS_SENDMESSAGE);
        if (r == WAIT_OBJECT_0) {
            break;
        }
        MSG msg;
        PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
    EnterCriticalSection(&gStateLock);
    gOwner = me;
    gDepth = 1;
    LeaveCriticalSection(&gStateLock);
}

void releaseBox() {
    EnterCriticalSection(&gStateLock);
    bool last = --gDepth == 0;
    if (last) {
        gOwner = 0;
    }
    LeaveCriticalSection(&gStateLock);
    if (last) {
        SetEvent(gBoxFree);
    }
}

HFONT arialFont(int height) {
    return CreateFontA(height, 0, 0, 0, 50, FALSE, FALSE, FALSE, DEFAULT_CHARSET, 0, 0, 0, 0, "Arial");
}

void closeBox(HWND box, BoxData* data, MessageAnswer answer) {
    data->answer = answer;
    // The controls let go of the fonts before they are destroyed.
    SendDlgItemMessageA(box, IDE_MESSAGE_TEXT, WM_SETFONT, 0, FALSE);
    SendDlgItemMessageA(box, IDB_MESSAGE_YES, WM_SETFONT, 0, FALSE);
    SendDlgItemMessageA(box, IDB_MESSAGE_NO, WM_SETFONT, 0, FALSE);
    DeleteObject(data->large);
    DeleteObject(data->small);
    data->large = data->small = nullptr;
    EndDialog(box, 0);
}

INT_PTR CALLBACK messageBoxProc(HWND box, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* data = reinterpret_cast<BoxData*>(GetWindowLongPtrA(box, DWLP_USER));
    switch (message) {
    case WM_INITDIALOG: {
        data = reinterpret_cast<BoxData*>(lParam);
        SetWindowLongPtrA(box, DWLP_USER, LONG_PTR(data));
        SetWindowPos(box, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE);
        SetDlgItemTextA(box, IDE_MESSAGE_TEXT, data->request->text ? data->request->text : "");
        SetDlgItemTextA(box, IDB_MESSAGE_YES, data->request->yesText ? data->request->yesText : "");
        SetDlgItemTextA(box, IDB_MESSAGE_NO, data->request->noText ? data->request->noText : "");
        data->large = arialFont(20);
        data->small = arialFont(16);
        SendDlgItemMessageA(box, IDB_MESSAGE_YES, WM_SETFONT, WPARAM(data->large), FALSE);
        SendDlgItemMessageA(box, IDB_MESSAGE_NO, WM_SETFONT, WPARAM(data->large), FALSE);
        SendDlgItemMessageA(box, IDE_MESSAGE_TEXT, WM_SETFONT,
                            WPARAM(data->request->compact ? data->small : data->large), FALSE);
        SetFocus(GetDlgItem(box, IDB_MESSAGE_YES));
        return FALSE; // the focus is set
    }
    case WM_COMMAND:
        if (LOWORD(wParam) == IDB_MESSAGE_YES || LOWORD(wParam) == IDB_MESSAGE_NO) {
            closeBox(box, data, LOWORD(wParam) == IDB_MESSAGE_YES ? AnswerYes : AnswerNo);
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
    BoxData data{&request, nullptr, nullptr, AnswerNo};
    INT_PTR shown = DialogBoxParamA(gApp ? gApp->instance : GetModuleHandleA(nullptr),
                                    MAKEINTRESOURCEA(IDD_MESSAGE), parent, messageBoxProc, LPARAM(&data));
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
    HWND main = static_cast<HWND>(gState.dialog.mainWindow);
    if (main) {
        PostMessageA(main, WM_COMMAND, MAKEWPARAM(IDB_CLOSE, BN_CLICKED), 0);
    }
}

void showError(HWND parent, const char* text, bool compact) {
    if (showMessage(parent, MessageRequest{text, kOk, kQuit, compact}) == AnswerNo) {
        requestQuit();
    }
}

void showAdvice(HWND parent, const char* text) {
    if (showMessage(parent, MessageRequest{text, kOk, kOpenReadMe, 1}) == AnswerNo) {
        openReadMe();
    }
}
