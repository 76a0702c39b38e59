// How the windows run their handlers.  Every named handler of a window (the
// ones its controls and events call) runs its work through RunHandler: an
// error the work raises abandons it where it stood, is shown in the error
// box, and goes no further, so no exception ever crosses Qt's event loop.
#pragma once

#include <exception>

#include "analysis/escaped_error.h"
#include "analysis/platform_interfaces.h"

template <typename Handler>
void RunHandler(tUserDialogs& dialogs, Handler&& handler) {
  try {
    handler();
  } catch (...) {
    ReportEscapedError(std::current_exception(), dialogs);
  }
}
