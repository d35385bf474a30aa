#include "ui/dialog.h"

#include <cstring>

ProgramState gState;

namespace {
// Static storage is zero-filled first; this sets the one value that does not start at zero.
[[maybe_unused]] const bool gDialogReady = (resetDialogState(gState.dialog), true);
} // namespace

void resetDialogState(DialogState& dialog) {
    std::memset(&dialog, 0, sizeof dialog);
    dialog.direction = Encrypt;
}
