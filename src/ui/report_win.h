// The poll of a running job: progress, the final message, and the window's return to its idle
// state; and the questions the job's worker puts to the user through the window.
#pragma once

#include <windows.h>

#include "ui/worker_win.h"

// Timer 1 polls a running job.
constexpr UINT_PTR kJobTimer = 1;
constexpr UINT kJobTimerPeriod = 500;

void reportJob(HWND window, UINT_PTR timerId);

// The window's answers to a job: the runner's questions and notes are sent from the worker's
// thread to the window's own, which shows them while the worker waits.
JobFront windowJobFront();
// The message by which they are sent; lParam is the question.
constexpr UINT kJobQuestion = WM_APP + 2;
void answerJobQuestion(HWND window, LPARAM question);
