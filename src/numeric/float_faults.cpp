#include "numeric/float_faults.h"

#include <cfenv>

void ClearFloatingPointFlags() {
  std::feclearexcept(FE_ALL_EXCEPT);
}

tFloatingPointFlagsSaved::tFloatingPointFlagsSaved() {
  std::fegetexceptflag(&saved_, FE_ALL_EXCEPT);
  ClearFloatingPointFlags();
}

tFloatingPointFlagsSaved::~tFloatingPointFlagsSaved() {
  ClearFloatingPointFlags();
  std::fesetexceptflag(&saved_, FE_ALL_EXCEPT);
}

void RaiseOnFloatingPointFault() {
  // fetestexcept reads both the x87 status word and MXCSR.
  const int raised = std::fetestexcept(kFaultFlags);
  if (raised == 0) [[likely]]
    return;
  std::feclearexcept(kFaultFlags);
  if (raised & FE_INVALID) throw EInvalidOp();
  if (raised & FE_DIVBYZERO) throw EZeroDivide();
  throw EOverflow();
}

void RaiseNonFinite(tReal v) {
  RaiseOnFloatingPointFault();
  if (real_math::isnan(v)) throw EInvalidOp();
  throw EOverflow();
}
