// Floating-point faults as errors.
//
// The processor does not trap: an invalid operation, a division by zero or an
// overflow sets a sticky flag (x87 status word or the software format's flags
// for tReal, MXCSR for double) and the computation goes on with a NaN or an infinity.
// To end the operation in progress with an error instead, its owner clears
// the flags when it starts (`ClearFloatingPointFlags`) and asks for the
// raised fault at its checkpoints (`RaiseOnFloatingPointFault`), for
// instance once per Monte Carlo iteration and once more at the end of a run.
// Underflow, denormal operands and inexact results are not faults.
//
// The library routines themselves never read the flags in their normal path
// (a stale flag left by unrelated code must not turn a good result into an
// error).  They test values instead, where a NaN or an infinity would
// otherwise hang a loop or be returned as if it were a result, and only then
// consult the flags to name the fault (`CheckFinite`).  The checks stand:
// - at the arguments of IncompleteGammaP, the quantile search, the base Cdf
//   and SetParameters, where a quiet NaN (which raises no flag) would pass
//   every comparison and hang a loop or recurse without end;
// - in the two loops without an iteration limit (GammaContinuedFraction and
//   the quantile search), on the quantity that decides when they stop;
// - on the results of IntegerPower, RealPower and LogGamma, on the pivot
//   reciprocal of MatrixInverse and on each entry Cholesky2x2 computes,
//   where an infinity or NaN would otherwise be passed on as a number.
#pragma once

#include <cfenv>
#include <cmath>

#include "numeric/errors.h"
#include "numeric/real.h"

// The flags that are faults: invalid operation, division by zero, overflow.
inline constexpr int kFaultFlags = FE_INVALID | FE_DIVBYZERO | FE_OVERFLOW;

#if QUORREL_REAL_IS_SOFT
// The software extended format keeps its own sticky flags (per thread, as
// the processor keeps its status word); the processor's flags still hold
// what double arithmetic raised.  Both are read and cleared together.
inline constexpr unsigned kSoftFaultFlags =
    soft_extended::kInvalid | soft_extended::kDivideByZero | soft_extended::kOverflow;
#endif

// True when a fault flag is set (the flags are left as they are).
inline bool FaultFlagRaised() {
#if QUORREL_REAL_IS_SOFT
  if (soft_extended::TestFlags(kSoftFaultFlags) != 0) return true;
#endif
  return std::fetestexcept(kFaultFlags) != 0;
}

// The exception flags as they stand, to be put back as they were after a
// computation whose flags do not count.  With MinGW-w64 the C library's
// fesetexceptflag also writes 0 into the SSE control register, unmasking
// every SSE exception (the next inexact conversion ends the program): there
// the raised exceptions are saved as a set and raised again.
#ifdef __MINGW32__
using tProcessorFlags = int;
inline tProcessorFlags SaveProcessorFlags() {
  return std::fetestexcept(FE_ALL_EXCEPT);
}
inline void RestoreProcessorFlags(tProcessorFlags flags) {
  std::feclearexcept(FE_ALL_EXCEPT);
  std::feraiseexcept(flags);
}
#else
using tProcessorFlags = std::fexcept_t;
inline tProcessorFlags SaveProcessorFlags() {
  std::fexcept_t flags;
  std::fegetexceptflag(&flags, FE_ALL_EXCEPT);
  return flags;
}
inline void RestoreProcessorFlags(const tProcessorFlags& flags) {
  std::fesetexceptflag(&flags, FE_ALL_EXCEPT);
}
#endif

#if QUORREL_REAL_IS_SOFT
// The software format's flags are saved and put back with the processor's.
struct tFloatingPointFlags {
  tProcessorFlags processor;
  unsigned soft;
};
inline tFloatingPointFlags SaveFloatingPointFlags() {
  return {SaveProcessorFlags(), soft_extended::TestFlags(soft_extended::kAllFlags)};
}
inline void RestoreFloatingPointFlags(const tFloatingPointFlags& flags) {
  RestoreProcessorFlags(flags.processor);
  soft_extended::ClearFlags(soft_extended::kAllFlags);
  soft_extended::flags |= flags.soft;
}
#else
using tFloatingPointFlags = tProcessorFlags;
inline tFloatingPointFlags SaveFloatingPointFlags() {
  return SaveProcessorFlags();
}
inline void RestoreFloatingPointFlags(const tFloatingPointFlags& flags) {
  RestoreProcessorFlags(flags);
}
#endif

// Clears every floating-point exception flag, x87 and SSE alike (and the
// software format's).
void ClearFloatingPointFlags();

// Keeps the floating-point exception flags of the code around it out of a
// computation that tests them, and the computation's flags out of that
// code: the flags are saved and cleared on construction, and put back as
// they were on destruction (also when the computation fails).
class tFloatingPointFlagsSaved {
 public:
  tFloatingPointFlagsSaved();
  ~tFloatingPointFlagsSaved();
  tFloatingPointFlagsSaved(const tFloatingPointFlagsSaved&) = delete;
  tFloatingPointFlagsSaved& operator=(const tFloatingPointFlagsSaved&) = delete;

 private:
  tFloatingPointFlags saved_{};
};

// Raises EInvalidOp, EZeroDivide or EOverflow (in this order of precedence)
// when the corresponding flag is set; the fault flags are cleared before the
// error leaves, so the next operation starts clean.  Returns when no fault
// flag is set.
void RaiseOnFloatingPointFault();

// Raises the fault that produced the non-finite value v: the one the flags
// show, otherwise EInvalidOp for a NaN (a quiet NaN passed in as an argument
// raises no flag) and EOverflow for an infinity.
[[noreturn]] void RaiseNonFinite(tReal v);

// Ends the computation when v is a NaN or an infinity.
inline void CheckFinite(tReal v) {
  if (!real_math::isfinite(v)) [[unlikely]]
    RaiseNonFinite(v);
}

// Ends the computation with EInvalidOp when v is a NaN.
inline void CheckNotNaN(tReal v) {
  if (real_math::isnan(v)) [[unlikely]]
    throw EInvalidOp();
}
