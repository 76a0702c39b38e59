// The continued fraction of the normal distribution function in x87 code.
//
// ContinuedFractionHalfSteps (engine_kernels.h) spends most of a run's time
// in a short chain of dependent extended-precision operations.  Compiled,
// the chain's values do not all fit the processor's eight extended
// registers, and the spills put 80-bit stores and loads into the chain.
// Here the six values the recurrence carries (A1, f, A0, B0, B1, g) stay in
// registers for the whole loop; only x is read from memory.  Every
// operation is the one of the C++ loop, with the same operands, so each
// result is rounded exactly as there (a + b for b + a and a b for b a,
// which IEEE arithmetic makes identical, are the only liberties).
//
// The stopping test is decided as in ContinuedFractionConverged: clearly
// converged, clearly not, or neither; for neither, and for an A1 of 0 or a
// g outside [2^-1000, 2^1000] (which includes NaN and infinity), the
// routine gives up and the caller does the whole evaluation as written.
#include "engines/engine_kernels.h"

#include <bit>
#include <cstdint>

#if QUORREL_X87_CONTINUED_FRACTION

static_assert(std::bit_cast<uint64_t>(engine_kernels::kToleranceAbove) == 0x3d95fd7fe1796545);
static_assert(std::bit_cast<uint64_t>(engine_kernels::kToleranceBelow) == 0x3d95fd7fe17963e5);

// int QuorrelContinuedFractionHalf(const long double* x, long double* g)
//   rdi = x, rsi = g.  Returns 0 with g stored, or 1 (nothing stored).
// Register stack at the head of the loop, top first:
//   A1, f, A0, B0, B1, g      and n (int32) at 0(%rsp).
asm(R"(
    .text
    .p2align 4
    .globl  QuorrelContinuedFractionHalf
    .type   QuorrelContinuedFractionHalf, @function
QuorrelContinuedFractionHalf:
    subq    $8, %rsp
    movl    $1, (%rsp)              # n = 1
    fldz                            # g = 0
    fld1                            # B1 = 1
    fldz                            # B0 = 0
    fld1                            # A0 = 1
    fld1                            # f = 1
    fldt    (%rdi)                  # A1 = x          [A1 f A0 B0 B1 g]
    .p2align 4
1:
    fildl   (%rsp)
    fsubs   .Lqcf_half(%rip)        # d = n - 1/2     [d A1 f A0 B0 B1 g]
    fmul    %st, %st(3)             # A0 d
    fmulp   %st, %st(4)             # B0 d            [A1 f A0d B0d B1 g]
    fld     %st(0)
    faddp   %st, %st(3)             # A1 + A0 d       [A1 f A0s B0d B1 g]
    fxch    %st(2)                  #                 [A0s f A1 B0d B1 g]
    fmul    %st(1), %st             # A0 = (A1 + A0 d) f
    fld     %st(4)
    faddp   %st, %st(4)             # B1 + B0 d
    fld     %st(1)
    fmulp   %st, %st(4)             # B0 = (B1 + B0 d) f  [A0 f A1 B0 B1 g]
    fildl   (%rsp)
    fmul    %st(2), %st             # e = n f         [e A0 f A1 B0 B1 g]
    fmul    %st, %st(3)             # e A1
    fmulp   %st, %st(5)             # e B1            [A0 f eA1 B0 eB1 g]
    fldt    (%rdi)
    fmul    %st(1), %st             # x A0
    faddp   %st, %st(3)             # A1 = x A0 + e A1   [A0 f A1 B0 eB1 g]
    fldt    (%rdi)
    fmul    %st(4), %st             # x B0
    faddp   %st, %st(5)             # B1 = x B0 + e B1   [A0 f A1 B0 B1 g]
    fxch    %st(2)                  #                 [A1 f A0 B0 B1 g]
    fldz
    fucomip %st(1), %st
    je      6f                      # A1 = 0 (or NaN): give up
    fld1
    fdiv    %st(1), %st             # 1 / A1
    fstp    %st(2)                  # f = 1 / A1      [A1 f A0 B0 B1 g_old]
    fld     %st(4)
    fmul    %st(2), %st             # g = B1 f        [g A1 f A0 B0 B1 g_old]
    fsub    %st, %st(6)             # +-(g - g_old)
    fxch    %st(6)
    fabs
    fxch    %st(6)                  #                 [g A1 f A0 B0 B1 |g - g_old|]
    fldl    .Lqcf_small(%rip)
    fcomip  %st(1), %st
    ja      7f                      # g < 2^-1000: give up
    jp      7f                      # g NaN: give up
    fldl    .Lqcf_large(%rip)
    fcomip  %st(1), %st
    jb      7f                      # g > 2^1000: give up
    fld     %st(0)
    fmull   .Lqcf_above(%rip)
    fcomip  %st(7), %st
    jp      7f
    jb      2f                      # |g - g_old| > g tolerance (1 + 2^-45): go on
    fld     %st(0)
    fmull   .Lqcf_below(%rip)
    fcomip  %st(7), %st
    ja      3f                      # |g - g_old| < g tolerance (1 - 2^-45): converged
    jmp     7f                      # too close to call: give up
2:
    fstp    %st(6)                  #                 [A1 f A0 B0 B1 g]
    incl    (%rsp)                  # n = n + 1
    jmp     1b
3:
    fstpt   (%rsi)                  # the result g
    fstp    %st(0)
    fstp    %st(0)
    fstp    %st(0)
    fstp    %st(0)
    fstp    %st(0)
    fstp    %st(0)
    xorl    %eax, %eax
    addq    $8, %rsp
    ret
7:
    fstp    %st(0)
6:
    fstp    %st(0)
    fstp    %st(0)
    fstp    %st(0)
    fstp    %st(0)
    fstp    %st(0)
    fstp    %st(0)
    movl    $1, %eax
    addq    $8, %rsp
    ret
    .size   QuorrelContinuedFractionHalf, .-QuorrelContinuedFractionHalf

    .section .rodata
    .p2align 3
.Lqcf_small: .quad 0x0170000000000000   # 2^-1000
.Lqcf_large: .quad 0x7e70000000000000   # 2^1000
.Lqcf_above: .quad 0x3d95fd7fe1796545   # kToleranceAbove
.Lqcf_below: .quad 0x3d95fd7fe17963e5   # kToleranceBelow
.Lqcf_half:  .float 0.5
    .text
)");

#endif
