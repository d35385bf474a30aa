// The key tools' buttons: "Create", "Analyse" and "KeyStore", and the window's side of the
// KeyStore's start-up check.
#pragma once

#include <windows.h>

#include "keys/keystore.h"
#include "keys/keystore_win.h"

void createKeyFile(HWND window);
void analyseKeyFile(HWND window);

// The KeyStore button. Pressed before the start-up check has measured the store, it waits:
// showKeyStoreCheck gives the answer then.
void keyStoreCommand(HWND window);
// The start-up check's outcome, on the dialog's thread: the status, any message of its fill, and
// then the answer to a press that waited.
void showKeyStoreCheck(HWND window, const KeyStoreReport& report);
// The start-up check and its outcome, both on the calling thread.
void checkKeyStore(HWND window);
// A fill or a draw with its messages, and the key drawn adopted.
void fillKeyStore(HWND window);
void drawKeyFile(HWND window);
KeyStoreStatus keyStoreStatus();
