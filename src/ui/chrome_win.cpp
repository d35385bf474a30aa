#include "ui/chrome_win.h"

#include <commctrl.h>

#include "resource.h"
#include "ui/dialog.h"
#include "ui/folders_win.h"
#include "ui/rules.h"

void setToolTip(HWND dialog, HWND toolTip, int id, const char* text) {
    HWND control = GetDlgItem(dialog, id);
    if (!toolTip || !control) {
        return;
    }
    TOOLINFOA tool{};
    tool.cbSize = TTTOOLINFOA_V2_SIZE;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = control;
    tool.uId = UINT_PTR(control);
    tool.hinst = gPlace.instance;
    // A control keeps one tool; later texts replace its text.
    TOOLINFOA probe = tool;
    probe.lpszText = nullptr;
    bool known = SendMessageA(toolTip, TTM_GETTOOLINFOA, 0, LPARAM(&probe)) != 0;
    tool.lpszText = const_cast<char*>(text);
    SendMessageA(toolTip, known ? TTM_UPDATETIPTEXTA : TTM_ADDTOOLA, 0, LPARAM(&tool));
}

void removeToolTip(HWND dialog, HWND toolTip, int id) {
    HWND control = GetDlgItem(dialog, id);
    if (!toolTip || !control) {
        return;
    }
    TOOLINFOA tool{};
    tool.cbSize = TTTOOLINFOA_V2_SIZE;
    tool.hwnd = control;
    tool.uId = UINT_PTR(control);
    SendMessageA(toolTip, TTM_DELTOOLA, 0, LPARAM(&tool));
}

void registerOpeningToolTips(HWND dialog) {
    for (const ToolTipText& tip : kOpeningToolTips) {
        setToolTip(dialog, gPlace.toolTip, tip.id, tip.text);
    }
}

void installSystemMenu(HWND dialog) {
    GetSystemMenu(dialog, TRUE);
    HMENU menu = GetSystemMenu(dialog, FALSE);
    AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(menu, MF_STRING, IDM_ON_TOP, "On Top Toggle");
}

void toggleOnTop(HWND dialog) {
    DialogState& state = gState.dialog;
    state.onTop = !state.onTop;
    SetWindowPos(dialog, state.onTop ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
                 SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE);
}
