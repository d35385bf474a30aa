// The main dialog: the whole user interface of the windowed program.
#pragma once

#include <windows.h>

// The input field while no file is loaded.
inline constexpr char kNoInputText[] = "None Selected";

// Opens the main dialog modally and returns when it has ended.
void runMainDialog();

// Recomputes every control's enabled state, the Go button's caption and the direction's tool
// tips from the dialog state.
void refreshControls(HWND window);

// The user's Desktop folder, without a trailing backslash, into a 600-byte buffer.
void desktopFolder(char* buffer);

// Handlers of the main dialog, by area.
void onCommand(HWND window, int id, int notification);
void onDropFiles(HWND window, HDROP drop);
void reportJob(HWND window, UINT_PTR timerId);
void startJob(HWND window);

// Timer 1 polls a running job.
constexpr UINT_PTR kJobTimer = 1;
constexpr UINT kJobTimerPeriod = 500;
