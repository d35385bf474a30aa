// Tool tips and the "On Top Toggle" item of the system menu.
#pragma once

#include <windows.h>

// Gives a control of `dialog` its tool tip, or replaces the text of the one it has.
void setToolTip(HWND dialog, HWND toolTip, int id, const char* text);
// Drops the control's tool when its window goes; the tool tip control outlives every dialog.
void removeToolTip(HWND dialog, HWND toolTip, int id);
void registerOpeningToolTips(HWND dialog);
void installSystemMenu(HWND dialog);
void toggleOnTop(HWND dialog);
