#include "numeric/float_faults.h"

#include <cfenv>

void ClearFloatingPointFlags() {
  std::feclearexcept(FE_ALL_EXCEPT);
#if QUORREL_REAL_IS_SOFT
  soft_extended::ClearFlags(soft_extended::kAllFlags);
#endif
}

tFloatingPointFlagsSaved::tFloatingPointFlagsSaved() : saved_(SaveFloatingPointFlags()) {
  ClearFloatingPointFlags();
}

tFloatingPointFlagsSaved::~tFloatingPointFlagsSaved() {
  ClearFloatingPointFlags();
  RestoreFloatingPointFlags(saved_);
}

void RaiseOnFloatingPointFault() {
  // fetestexcept reads both the x87 status word and MXCSR.
  int raised = std::fetestexcept(kFaultFlags);
#if QUORREL_REAL_IS_SOFT
  const unsigned soft = soft_extended::TestFlags(kSoftFaultFlags);
  if (soft & soft_extended::kInvalid) raised |= FE_INVALID;
  if (soft & soft_extended::kDivideByZero) raised |= FE_DIVBYZERO;
  if (soft & soft_extended::kOverflow) raised |= FE_OVERFLOW;
  soft_extended::ClearFlags(kSoftFaultFlags);
#endif
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
