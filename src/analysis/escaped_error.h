// Errors that escape an event handler: the handler is abandoned where it
// stood, the error is shown in the error box, and the program carries on.
#pragma once

#include <exception>
#include <string>

#include "analysis/platform_interfaces.h"

// The error's message with a period added when it has none.  `error` must
// hold an exception; a foreign one gives "Unexpected error.".
std::string EscapedErrorText(std::exception_ptr error);

// Runs one handler of a window; an error it raises is shown through
// `dialogs` and goes no further, so no exception ever crosses the event loop.
template <typename Handler>
void RunHandler(tUserDialogs& dialogs, Handler&& handler) {
  try {
    handler();
  } catch (...) {
    dialogs.ShowError(EscapedErrorText(std::current_exception()));
  }
}
