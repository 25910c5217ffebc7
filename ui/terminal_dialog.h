// The conversion dialog where there is no Windows dialog manager: the same texts,
// lists and commands, driven with keys on a terminal and by lines of codes elsewhere.
#pragma once

#include <cstdio>

#include "ui/dialog_state.h"
#include "ui/terminal_frame.h"

// The dialog as rows of text, the focused control in reverse video.
void FormatDialog(const DialogState& state, Frame* frame);

// Shows the dialog and converts until the user ends it; returns the exit code.
int RunTerminalDialog(FILE* input, FILE* output);
