// The first report of the example case (controls of 20 with means 100 and
// 50, SDs 15 and 10, r 0.6; a case scoring 70 and 55; calibrated prior,
// two-sided limits, standardized test), written out by hand.  The numbers in
// the outputs are those of the calibrated engine's run for this case.
//
// The same report is printed, line for line, by
//   build/src/cli/quorrel-report 100 15 50 10 .6 20 70 55
// and the engine's eight results behind it are those of the engines' golden
// test GoldenFullRun.CalibratedPriorExample, made by the step-by-step
// reference computation with
//   build/bench/golden_values engine calibrated 20 1000000 100 15 50 10 0.6 70 55 two-sided
//   standardized
// After a deliberate change of the report's wording or layout, or of the
// engine's arithmetic, compare with those outputs and write the lines again.
#pragma once

#include <string>
#include <vector>

inline const std::vector<std::string> kExampleFirstReport = {
    "",
    "Quorrel.EXE: Bayesian inferential methods for the difference between a case's scores on two "
    "tasks",
    "",
    " THIS PROGRAM IMPLEMENTS STATISTICAL METHODS DEVELOPED IN THE FOLLOWING PAPERS:",
    "",
    " Bayesian Monte Carlo tests that compare a single case with a small control sample, treating "
    "the",
    " control mean and standard deviation as estimates: the probability that a control member is "
    "more",
    " extreme than the case, and credible limits for the abnormality of the case's score.",
    "",
    " The Bayesian standardized difference test for the discrepancy between a case's scores on two",
    " correlated tasks, with the effect size Z-DCC of the difference between case and controls and",
    " its credible interval, from posterior draws of the controls' covariance matrix and means.",
    "",
    " A prior for the controls' covariance matrix calibrated to give the Bayesian difference tests",
    " frequentist properties: their error rates keep to the nominal level also for small samples.",
    "",
    "",
    " INPUTS:",
    " Option selected: Analysis is to be performed on the patient's STANDARDIZED difference",
    " Option selected: Analysis is to be performed using a prior CALIBRATED to confer frequentist "
    "properties",
    "",
    " Option selected: 95% two-sided limit requested",
    "",
    " Mean of the control or normative sample on Task X =       100.00",
    " Standard deviation for the normative sample on Task X =    15.00",
    " Mean of the control or normative sample on Task Y =        50.00",
    " Standard deviation for the normative sample on Task Y =    10.00",
    " Correlation between Tests X and Y in normative sample =     0.60",
    " Sample size of the normative sample =                         20",
    "",
    " Case's test score on Task X =                              70.00",
    " Case's test score on Task Y =                              55.00",
    "",
    "",
    " OUTPUTS:",
    " Individual's score on Test X expressed as a z score =   -2.000",
    " Individual's score on Test Y expressed as a z score =    0.500",
    "",
    " Bayesian hypothesis test - Probability that the standardized difference for a member of the "
    "control",
    " population would be greater than that of the case:",
    " Two-tailed probability = 0.01639 ",
    " One-tailed probability = 0.00819 ",
    "",
    " Effect size (Z-DCC) for the difference (Task X minus Task Y) between case and controls (plus "
    "95% Credible",
    " Interval):",
    " Z-DCC = -2.795 (95% Credible Interval = -3.788 to -1.699)",
    "",
    " Percentage of control population exhibiting a discrepancy more extreme than the case and in "
    "the",
    " same direction:",
    " Bayesian point estimate    = 0.819%",
    " Bayesian 95% lower limit   = 0.008%",
    " Bayesian 95% upper limit   = 4.468%",
};
