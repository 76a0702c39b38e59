// Golden results: all eight fields, to the last bit, of runs computed by a
// plain step-by-step implementation of both engines.  Any change in the
// order of the draws or of the arithmetic shows up here.
//
// The values were made by that implementation (bench/reference), e.g. for
// the first case
//   build/bench/golden_values engine standard 20 10000 100 15 50 10 0.6 70 55 two-sided
//   standardized
// which prints the eight results and the generator's state words; after a
// deliberate change of the arithmetic, make them again the same way.
#include <gtest/gtest.h>

#include "engine_test_support.h"
#include "numeric/distrib.h"

namespace {

struct tGolden {
  const char* name;
  tEngineCase inputs;
  tEngine_results expected;
};

tEngineCase Case(tPriorKind prior, int32_t n, double mean_x, double sd_x, double mean_y,
                 double sd_y, double r, double case_x, double case_y, bool two_sided = true,
                 tTestKind test = tTestKind::Standardized, int32_t n_iter = 10000) {
  return {prior, n, n_iter, mean_x, sd_x, mean_y, sd_y, r, case_x, case_y, two_sided, test};
}

constexpr auto kStandard = tPriorKind::StandardTheory;
constexpr auto kCalibrated = tPriorKind::Calibrated;

const tGolden kShortRuns[] = {
    {"StandardExample",
     Case(kStandard, 20, 100, 15, 50, 10, 0.6, 70, 55),
     {0.00607935836798290886415L, 0.0121587167359658177283L, 0.607935836798290886419L,
      0.00511315546168855889018L, 3.41147266081181978637L, -2.79508497187473704294L,
      -3.8851585940006567732L, -1.82348839453873345917L}},
    {"CalibratedExample",
     Case(kCalibrated, 20, 100, 15, 50, 10, 0.6, 70, 55),
     {0.00823114642252565937605L, 0.0164622928450513187521L, 0.823114642252565937598L,
      0.00772846308646831935303L, 4.34362157046249921111L, -2.79508497187473704294L,
      -3.78361112986188352636L, -1.7121315330717898906L}},
    {"StandardOneSided",
     Case(kStandard, 20, 100, 15, 50, 10, 0.6, 70, 55, false),
     {0.00607935836798290886415L, 0.0121587167359658177283L, 0.607935836798290886419L,
      0.0104017446392452086188L, 2.36478647430470496102L, -2.79508497187473704294L,
      -3.70905420413169117921L, -1.98364230559427823231L}},
    // n = 4 under the calibrated prior: chi-square draws with 2 and 1
    // degrees of freedom, nearly singular drawn matrices.
    {"CalibratedSmallSampleUnitScale",
     Case(kCalibrated, 4, 10, 1, 12, 1.2, 0.5, 7, 12.5),
     {0.0682896322950855098606L, 0.136579264590171019721L, 6.82896322950855098628L,
      2.32698274440622937531e-09L, 45.3564661041350565968L, -3.41666666666666668213L,
      -6.58160503494138993119L, -0.116660210811008385745L}},
    {"CalibratedSmallSampleLargeScale",
     Case(kCalibrated, 4, 500, 100, 450, 120, 0.3, 300, 480, false),
     {0.142617508969818285899L, 0.285235017939636571798L, 14.26175089698182859L,
      0.0245279303853620616856L, 49.6943413220514795987L, -1.90159707313916228428L,
      -3.48585948583935989475L, -0.00766180180668815484502L}},
    {"StandardSmallestSample",
     Case(kStandard, 3, 100, 15, 50, 10, 0.6, 70, 55),
     {0.038346526308617513798L, 0.076693052617235027596L, 3.83465263086175137987L,
      1.06950554396847627436e-08L, 35.8416210726531740752L, -2.79508497187473704294L,
      -6.35101337456872805376L, -0.362695419932344054192L}},
    {"StandardUnstandardized",
     Case(kStandard, 30, 450, 120, 500, 110, 0.8, 700, 520, true, tTestKind::Unstandardized),
     {0.00219751623246013931547L, 0.00439503246492027863094L, 0.219751623246013931545L,
      0.00299977541652290957686L, 1.19064967317986999257L, 3.13571582810796844229L,
      2.26013306640616784549L, 4.01282847675541365362L}},
    // The case's difference lies above the controls': the tail is flipped.
    {"CalibratedFlipped",
     Case(kCalibrated, 20, 100, 15, 50, 10, 0.6, 130, 45),
     {0.00823924194246749105913L, 0.0164784838849349821183L, 0.823924194246749105885L,
      0.00773910059564484470451L, 4.48944020731477580477L, 2.79508497187473704294L,
      1.69651282133964542709L, 3.78326894063160201753L}},
    {"CalibratedUnstandardized",
     Case(kCalibrated, 10, 50, 10, 50, 10, 0.5, 65, 45, true, tTestKind::Unstandardized),
     {0.0629805850704299919512L, 0.125961170140859983902L, 6.29805850704299919479L,
      0.175602346179847414176L, 24.3311017528281093997L, 2L, 0.695691523574300085819L,
      2.91895697610840798575L}},
};

void PrintTo(const tGolden& golden, std::ostream* os) {
  *os << golden.name;
}

class GoldenShortRun : public ::testing::TestWithParam<tGolden> {};

TEST_P(GoldenShortRun, AllEightResultsInEveryBit) {
  const tGolden& golden = GetParam();
  EXPECT_TRUE(SameBits(RunEngine(golden.inputs), golden.expected));
}

INSTANTIATE_TEST_SUITE_P(Engines, GoldenShortRun, ::testing::ValuesIn(kShortRuns),
                         [](const auto& test_info) { return std::string(test_info.param.name); });

// The number of threads changes nothing, not even with more threads than
// stretches of the stream or than processors: every golden case, and the
// generator's state afterwards.
TEST(GoldenThreads, SameResultsWithAnyNumberOfThreads) {
  for (const tGolden& golden : kShortRuns) {
    int32_t seed1 = 0, seed2 = 0;
    for (unsigned threads : {1u, 2u, 3u, 8u, 16u}) {
      const tEngineThreads use(threads);
      EXPECT_TRUE(SameBits(RunEngine(golden.inputs), golden.expected))
          << golden.name << " with " << threads << " threads";
      if (threads == 1) {
        seed1 = RandomSeed1;
        seed2 = RandomSeed2;
      }
      EXPECT_EQ(RandomSeed1, seed1) << golden.name << " with " << threads << " threads";
      EXPECT_EQ(RandomSeed2, seed2) << golden.name << " with " << threads << " threads";
    }
  }
}

// The generator is left where the plain run leaves it.
TEST(GoldenThreads, GeneratorStateAfterARun) {
  RunEngine(kShortRuns[0].inputs);
  EXPECT_EQ(RandomSeed1, 65428578);
  EXPECT_EQ(RandomSeed2, 1439706452);
  RunEngine(kShortRuns[1].inputs);
  EXPECT_EQ(RandomSeed1, 948385490);
  EXPECT_EQ(RandomSeed2, 224459481);
}

// The worked example at the full 1,000,000 iterations.
TEST(GoldenFullRun, StandardTheoryExample) {
  tEngineCase c = kShortRuns[0].inputs;
  c.n_iter = 1000000;
  const tEngine_results expected{0.0059604550483487946914L, 0.0119209100966975893828L,
                                 0.59604550483487946913L,   0.0049976575118555911911L,
                                 3.36736356215860464357L,   -2.79508497187473704294L,
                                 -3.89070558555067869122L,  -1.82934947606458697678L};
  EXPECT_TRUE(SameBits(RunEngine(c), expected));
  EXPECT_EQ(RandomSeed1, 130973413);
  EXPECT_EQ(RandomSeed2, 2084701294);
}

// With 16 threads the run is cut into some 200 stretches, nearly all of
// them begun from a guessed position.
TEST(GoldenFullRun, CalibratedPriorExample) {
  tEngineCase c = kShortRuns[1].inputs;
  c.n_iter = 1000000;
  const tEngineThreads use(16);
  const tEngine_results expected{0.00819313167350689837692L, 0.0163862633470137967538L,
                                 0.819313167350689837702L,   0.00758180267446741139922L,
                                 4.46802450073136505487L,    -2.79508497187473704294L,
                                 -3.78837467122256477126L,   -1.69878081345068476793L};
  EXPECT_TRUE(SameBits(RunEngine(c), expected));
  EXPECT_EQ(RandomSeed1, 760322341);
  EXPECT_EQ(RandomSeed2, 136977908);
}

}  // namespace
