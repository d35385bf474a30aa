// Tool tips and the "On Top Toggle" item of the system menu.
#pragma once

#include <windows.h>

#include "app/startup_win.h"

// Gives a control of `dialog` its tool tip, or replaces the text of the one it has.
void setToolTip(HWND dialog, const AppContext* app, int id, const char* text);
void registerOpeningToolTips(HWND dialog);
void installSystemMenu(HWND dialog);
void toggleOnTop(HWND dialog);
