// Prints the golden values of the tests from the plain step-by-step
// computation, as C++ literals, so that they can be made again after a
// deliberate change of the arithmetic (and checked against the optimised
// code, which must give the same bits).
//
//   golden_values engine PRIOR N N_ITER MEAN_X SD_X MEAN_Y SD_Y R CASE_X CASE_Y LIMITS TEST
//       PRIOR standard|calibrated, LIMITS two-sided|one-sided,
//       TEST standardized|unstandardized: the eight results and the
//       generator's state words after the run.
//   golden_values normals
//       the first two of a million standard normal draws from the start
//       seeds, the sum of the other 999,998, and the state words.
//   golden_values draws
//       the sums of 200,000 draws of each distribution of the variate tests.
//   golden_values gamma X A
//       IncompleteGammaP(X, A).
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "reference/reference_engines.h"
#include "reference/reference_numeric.h"

namespace ref = quorrel_reference;

namespace {

void Print(const char* label, tReal x) {
  std::printf("%s%.21LgL\n", label, x);
}

void PrintState() {
  std::printf("RandomSeed1 %d\nRandomSeed2 %d\n", ref::RandomSeed1, ref::RandomSeed2);
}

int Engine(int argc, char** argv) {
  if (argc != 14) return 64;
  const bool calibrated = std::strcmp(argv[2], "calibrated") == 0;
  const int32_t n = std::atoi(argv[3]);
  const int32_t n_iter = std::atoi(argv[4]);
  tReal v[7];
  for (int i = 0; i < 7; ++i)
    v[i] = std::strtod(argv[5 + i], nullptr);  // the worksheet's values are doubles
  const bool two_sided = std::strcmp(argv[12], "two-sided") == 0;
  const tTestKind test = std::strcmp(argv[13], "unstandardized") == 0 ? tTestKind::Unstandardized
                                                                      : tTestKind::Standardized;
  tEngine_results r;
  auto engine = calibrated ? ref::Calibrated_Prior_Engine : ref::Standard_Theory_Engine;
  engine(n, n_iter, true, v[0], v[1], v[2], v[3], v[4], v[5], v[6], two_sided, 95, r, test);
  std::printf("{%.21LgL, %.21LgL, %.21LgL,\n %.21LgL, %.21LgL, %.21LgL,\n %.21LgL, %.21LgL}\n",
              r.one_tailed_p, r.two_tailed_p, r.pct_estimate, r.pct_lower, r.pct_upper, r.zdcc,
              r.zdcc_lower, r.zdcc_upper);
  PrintState();
  return 0;
}

int Normals() {
  ref::tNormal_distribution d(0, 1);
  ref::RandomSeed1 = 897183450;
  ref::RandomSeed2 = 1841323562;
  Print("first ", d.RandomValue());
  Print("second ", d.RandomValue());
  tReal sum = 0;
  for (int i = 2; i < 1000000; ++i)
    sum += d.RandomValue();
  Print("sum ", sum);
  PrintState();
  return 0;
}

int Draws() {
  struct tCase {
    const char* name;
    std::shared_ptr<ref::tDistribution> d;
  } cases[] = {
      {"normal(0, 1)", std::make_shared<ref::tNormal_distribution>(0, 1)},
      {"normal(-3, 0.25)", std::make_shared<ref::tNormal_distribution>(-3, 0.25L)},
      {"chi-square(1)", std::make_shared<ref::tChi_square_distribution>(1)},
      {"chi-square(2)", std::make_shared<ref::tChi_square_distribution>(2)},
      {"chi-square(3)", std::make_shared<ref::tChi_square_distribution>(3)},
      {"chi-square(5)", std::make_shared<ref::tChi_square_distribution>(5)},
      {"chi-square(50)", std::make_shared<ref::tChi_square_distribution>(50)},
      {"gamma(0.3, 2)", std::make_shared<ref::tGamma_distribution>(0.3L, 2)},
      {"uniform(2, 5)", std::make_shared<ref::tUniform_distribution>(2, 5)},
  };
  for (tCase& c : cases) {
    ref::RandomSeed1 = 897183450;
    ref::RandomSeed2 = 1841323562;
    tReal sum = 0;
    for (int i = 0; i < 200000; ++i)
      sum += c.d->RandomValue();
    std::printf("%s: ", c.name);
    Print("", sum);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string what = argc > 1 ? argv[1] : "";
  int status = 64;
  if (what == "engine") status = Engine(argc, argv);
  if (what == "normals") status = Normals();
  if (what == "draws") status = Draws();
  if (what == "gamma" && argc == 4) {
    Print("",
          ref::IncompleteGammaP(std::strtold(argv[2], nullptr), std::strtold(argv[3], nullptr)));
    status = 0;
  }
  if (status == 64)
    std::fprintf(stderr, "usage: see the comment at the top of golden_values.cpp\n");
  return status;
}
