// Control access for code that works with or without the main dialog: with no window every
// call does nothing, so loading and adoption serve the command line as well.
#pragma once

#include <windows.h>

#include <cstdint>

#include "text/text.h"
#include "win/wide_win.h"

inline void setField(HWND window, int id, const char* text) {
    if (window) {
        winSetItemText(window, id, text);
    }
}

// A path: the field shows its end, where the file's name is, when the whole does not fit.
inline void setPathField(HWND window, int id, const char* path) {
    if (window) {
        winSetItemText(window, id, path);
        const LRESULT end = SendDlgItemMessageW(window, id, WM_GETTEXTLENGTH, 0, 0);
        SendDlgItemMessageW(window, id, EM_SETSEL, WPARAM(end), LPARAM(end));
        SendDlgItemMessageW(window, id, EM_SCROLLCARET, 0, 0);
    }
}

inline void setFieldNumber(HWND window, int id, uint32_t value) {
    if (window) {
        SetDlgItemInt(window, id, value, FALSE);
    }
}

inline void setCheck(HWND window, int id, bool checked) {
    if (window) {
        CheckDlgButton(window, id, checked ? BST_CHECKED : BST_UNCHECKED);
    }
}

inline void enableControl(HWND window, int id, bool enabled) {
    if (window) {
        EnableWindow(GetDlgItem(window, id), enabled);
    }
}

// Recomputes every control's enabled state, the Go button's caption and the direction's tool
// tips from the dialog state.
void refreshControls(HWND window);

inline void showControl(HWND window, int id, bool shown) {
    if (window) {
        ShowWindow(GetDlgItem(window, id), shown ? SW_SHOW : SW_HIDE);
    }
}
