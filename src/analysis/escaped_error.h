// Errors that escape an operation of the windows: the operation is abandoned
// where it stood, the error is shown in the error box, and the program
// carries on (windows/handler_guard.h).
#pragma once

#include <exception>
#include <string>

#include "analysis/platform_interfaces.h"

// The error's message with a period added when it has none.  `error` must
// hold an exception; a foreign one gives "Unexpected error.".
std::string EscapedErrorText(std::exception_ptr error);

// Shows `error` in the error box through `dialogs`.  When the box itself
// fails, says so on the console rather than end the program.  Returns false,
// the result of an event whose handler failed.
bool ReportEscapedError(std::exception_ptr error, tUserDialogs& dialogs) noexcept;
