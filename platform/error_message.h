// Messages to the user, each with the caption "Chyba": a box on Windows, a line on
// stderr elsewhere.
#pragma once

// Shows a UTF-8 text to the user and waits until it is seen: ShowMessageBox,
// unless the messages are redirected.
void ShowErrorMessage(const char* text);
void ShowMessageBox(const char* text);
// Test runs must never wait for a click: they route the messages here instead.
typedef void (*ErrorMessageSink)(const char* text);
void RedirectErrorMessages(ErrorMessageSink sink);
