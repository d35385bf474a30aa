// The poll of a running job: progress, the final message, and the window's return to its idle
// state.
#pragma once

#include <windows.h>

// Timer 1 polls a running job.
constexpr UINT_PTR kJobTimer = 1;
constexpr UINT kJobTimerPeriod = 500;

void reportJob(HWND window, UINT_PTR timerId);
