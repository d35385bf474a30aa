// The main dialog: the whole user interface of the windowed program.
#pragma once

// Opens the main dialog modally and returns when it has ended. `initialInput`, when not empty,
// is loaded as the dialog opens, as if the user had chosen it.
void runMainDialog(const char* initialInput);
