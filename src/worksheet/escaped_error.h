// The text of the error box for an error that escaped an operation.
#pragma once

#include <exception>
#include <string>

// The error's message with a period added when it has none.  `error` must
// hold an exception; a foreign one gives "Unexpected error.".
std::string EscapedErrorText(std::exception_ptr error);
