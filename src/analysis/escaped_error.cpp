#include "analysis/escaped_error.h"

#include <cstdio>

#include "analysis/platform_interfaces.h"
#include "numeric/errors.h"

std::string EscapedErrorText(std::exception_ptr error) {
  try {
    if (error) std::rethrow_exception(error);
  } catch (const Exception& e) {
    return ErrorBoxText(e.Message());
  } catch (const std::exception& e) {
    return ErrorBoxText(e.what());
  } catch (...) {
  }
  return ErrorBoxText("Unexpected error");
}

bool ReportEscapedError(std::exception_ptr error, tUserDialogs& dialogs) noexcept {
  try {
    dialogs.ShowError(EscapedErrorText(error));
  } catch (...) {
    std::fputs("Quorrel: an error could not be shown\n", stderr);
  }
  return false;
}
