// What the main dialog shows for a given dialog state: which controls are enabled, the Go
// button's caption, and the tool tips that follow the direction of the job.
#pragma once

#include <cstddef>
#include <cstdint>

#include "ui/dialog.h"

struct ControlState {
    int id;
    bool enabled;
};

struct ToolTipText {
    int id;
    const char* text;
};

constexpr size_t kRuledControls = 25;

struct ControlStates {
    ControlState controls[kRuledControls];
    // The description field follows its rule in the Encrypt direction only.
    bool descriptionRuled;
    bool descriptionEnabled;
    const char* goCaption;
    ToolTipText directionTips[4];
};

// While a job runs every ruled control is disabled, whatever the dialog holds.
ControlStates computeControlStates(const DialogState& dialog, bool jobRunning);

// The tool tips registered when the main dialog opens, in order.
extern const ToolTipText kOpeningToolTips[26];
