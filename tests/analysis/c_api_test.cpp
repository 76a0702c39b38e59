// The C interface hands the core's answers across unchanged: the example's
// report as the driver writes it, a refused field's message and index, and
// a run stopped from its progress function, after which the next run starts
// afresh, and a run split over threads that calls that function only on the
// caller's thread.
#include "analysis/quorrel_c_api.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <memory>
#include <string>
#include <thread>

#include "example_report_golden.h"

namespace {

struct tSessionFree {
  void operator()(quorrel_session* session) const { quorrel_session_free(session); }
};
using tSession = std::unique_ptr<quorrel_session, tSessionFree>;

const char* const kExample[8] = {"100", "15", "50", "10", ".6", "20", "70", "55"};

TEST(CInterface, TheExampleGivesTheDriversReportAndDataText) {
  tSession session(quorrel_session_new('.'));
  ASSERT_EQ(quorrel_check_fields(session.get(), kExample), -1);
  ASSERT_EQ(quorrel_run(session.get(), kExample, nullptr, nullptr), QUORREL_DONE);
  std::string expected;
  for (const std::string& line : kExampleFirstReport)
    expected += line + '\n';
  EXPECT_EQ(quorrel_report(session.get(), 0), expected);
  EXPECT_EQ(quorrel_report(session.get(), 1), std::string(96, '_') + '\n' + expected);
  // Every draw is in the summary once.
  long long counted = quorrel_draws_below(session.get()) + quorrel_draws_above(session.get());
  for (int bin = 0; bin < quorrel_draws_bins(session.get()); ++bin)
    counted += quorrel_draws_count(session.get(), bin);
  EXPECT_EQ(counted, 1000000);
  EXPECT_LT(quorrel_draws_low(session.get()), quorrel_result(session.get(), 6));

  EXPECT_STREQ(quorrel_data_file_text(session.get(), kExample), "100 15 50 10 .6 20 70 55 ");
  EXPECT_EQ(quorrel_read_data_file_text(session.get(), "100 15 50 10 .6 20 70 55 "), 6);
  EXPECT_STREQ(quorrel_restored_value(session.get(), 4), "0.6");
  EXPECT_EQ(quorrel_read_data_file_text(session.get(), "100 15 x"), 2);
  EXPECT_STREQ(quorrel_message(session.get()), "Invalid numeric input");
}

TEST(CInterface, ARefusedFieldGivesTheCoresMessageAndItsIndex) {
  tSession session(quorrel_session_new(','));
  const struct {
    int field;
    const char* text;
  } refusals[] = {{1, "0"}, {4, "1"}, {5, "2.5"}, {7, ""}};
  for (const auto& refusal : refusals) {
    const char* texts[8];
    std::copy(std::begin(kExample), std::end(kExample), texts);
    texts[refusal.field] = refusal.text;
    EXPECT_EQ(quorrel_run(session.get(), texts, nullptr, nullptr), QUORREL_REFUSED);
    EXPECT_EQ(quorrel_refused_field(session.get()), refusal.field);
    EXPECT_EQ(quorrel_check_fields(session.get(), texts), refusal.field);
    EXPECT_STREQ(quorrel_report(session.get(), 0), "");
  }
  const char* texts[8];
  std::copy(std::begin(kExample), std::end(kExample), texts);
  texts[1] = "0";
  quorrel_check_fields(session.get(), texts);
  EXPECT_STREQ(quorrel_message(session.get()),
               "INPUT ERROR\r(  Standard deviation for the normative sample on Task X:  0,000  )\r"
               "Standard deviations must have a positive value.");
  EXPECT_EQ(quorrel_filter_key(session.get(), ','), '.');
  EXPECT_EQ(quorrel_filter_key(session.get(), 'e'), 0);
  EXPECT_TRUE(quorrel_beeped(session.get()));
  EXPECT_STREQ(quorrel_message(session.get()), "INPUT ERROR\r\rEnter numeric data only.");
  EXPECT_STREQ(quorrel_limit_length(session.get(), "1234567"), "123456");
  EXPECT_STREQ(quorrel_message(session.get()), "Maximum length of input is 6 characters.");
}

int StopAtOnce(void* calls, int drawn, int total) {
  EXPECT_GT(drawn, 0);
  EXPECT_LT(drawn, total);
  ++*static_cast<int*>(calls);
  return 1;
}

TEST(CInterface, AStopFromTheProgressFunctionEndsTheRunWithNoReport) {
  tSession session(quorrel_session_new('.'));
  int calls = 0;
  EXPECT_EQ(quorrel_run(session.get(), kExample, StopAtOnce, &calls), QUORREL_STOPPED);
  EXPECT_GE(calls, 1);
  EXPECT_STREQ(quorrel_report(session.get(), 0), "");
  EXPECT_EQ(quorrel_draws_bins(session.get()), 0);
  // The next run is not stopped by the earlier request.
  ASSERT_EQ(quorrel_run(session.get(), kExample, nullptr, nullptr), QUORREL_DONE);
  EXPECT_EQ(quorrel_drawn(session.get()), 1000000);
  EXPECT_NE(std::string(quorrel_report(session.get(), 0)).find("Z-DCC = -2.795"),
            std::string::npos);
}

// A run split over threads calls the progress function on the caller's
// thread only (in WebAssembly the function exists on no other), and the
// report keeps every digit.
TEST(CInterface, ASplitRunReportsProgressOnTheCallersThreadOnly) {
  struct tCalls {
    std::thread::id caller = std::this_thread::get_id();
    int here = 0;
    int elsewhere = 0;
  } calls;
  const auto count = [](void* context, int, int) {
    tCalls& c = *static_cast<tCalls*>(context);
    ++(std::this_thread::get_id() == c.caller ? c.here : c.elsewhere);
    return 0;
  };
#if defined(__EMSCRIPTEN__) && !defined(__EMSCRIPTEN_PTHREADS__)
  ASSERT_EQ(quorrel_set_threads(4), 1);  // no thread can be started
#else
  ASSERT_EQ(quorrel_set_threads(4), 4);
#endif
  tSession session(quorrel_session_new('.'));
  const int status = quorrel_run(session.get(), kExample, count, &calls);
  EXPECT_GE(quorrel_set_threads(0), 1);
  ASSERT_EQ(status, QUORREL_DONE);
  EXPECT_GE(calls.here, 1);
  EXPECT_EQ(calls.elsewhere, 0);
  EXPECT_NE(std::string(quorrel_report(session.get(), 0)).find("Z-DCC = -2.795"),
            std::string::npos);
}

}  // namespace
