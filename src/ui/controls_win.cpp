#include "ui/controls_win.h"

#include "resource.h"
#include "ui/chrome_win.h"
#include "ui/dialog.h"
#include "ui/folders_win.h"
#include "ui/rules.h"

void refreshControls(HWND window) {
    ControlStates states = computeControlStates(gState.dialog, jobRunning());
    for (const ControlState& control : states.controls) {
        enableControl(window, control.id, control.enabled);
    }
    if (states.descriptionRuled) {
        enableControl(window, IDE_DESCRIPTION, states.descriptionEnabled);
    }
    winSetItemText(window, IDB_GO, states.goCaption);
    for (const ToolTipText& tip : states.directionTips) {
        setToolTip(window, gPlace.toolTip, tip.id, tip.text);
    }
}
