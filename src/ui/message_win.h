// The program's own message box: one text and two large stacked buttons whose captions the
// caller chooses. Every message of the program goes through it.
#pragma once

#include <windows.h>

#include <cstdint>

enum MessageAnswer : uint32_t { AnswerYes = 1, AnswerNo = 2 };

struct MessageRequest {
    const char* text;
    const char* yesText; // upper button
    const char* noText;  // lower button
    uint32_t compact;    // the small (16-pixel) font for the text
    // The answer that leaves data and program as they are, given by Esc and by Enter on the
    // button focused at opening: the upper one ("OK") where the box only informs and its lower
    // button is a step of its own ("Quit Nimbrel", "Open ReadMe"), the lower one where the box
    // asks before the upper one acts.
    MessageAnswer harmless;
};

// Shows the box modally over `parent` (or no window) and returns the answer. Callers on
// other threads wait until an open box has been answered; a box opened from inside another
// on the same thread (a timer tick, say) does not wait.
MessageAnswer showMessage(HWND parent, const MessageRequest& request);

// True while a box is open anywhere in the program.
bool messageBoxOpen();

// An error: "OK" goes on, "Quit Nimbrel" ends the main dialog and with it the program.
void showError(HWND parent, const char* text, bool compact);
// Advice: "OK" goes on, "Open ReadMe" opens the ReadMe.
void showAdvice(HWND parent, const char* text);

// The answer "Quit Nimbrel": ends the main dialog once the current message has been handled.
// Before the main dialog exists it does nothing.
void requestQuit();
