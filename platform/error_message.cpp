// Error messages go to the platform's message box, or where a test run sends them.
#include "platform/platform.h"

static ErrorMessageSink error_message_sink = nullptr;

void RedirectErrorMessages(ErrorMessageSink sink) { error_message_sink = sink; }

void ShowErrorMessage(const char* text) {
  if (error_message_sink) {
    error_message_sink(text);
  } else {
    ShowMessageBox(text);
  }
}
