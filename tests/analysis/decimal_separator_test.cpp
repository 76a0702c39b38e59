// The user's decimal separator comes from the environment's locale, and
// asking for it leaves the program's own C locale as it was.
#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <string>

#include "analysis/decimal_separator.h"
#include "support/temporary_folder.h"

namespace {

// Sets LC_ALL for one test and puts the previous value back.
class tLocaleEnvironment {
 public:
  explicit tLocaleEnvironment(const char* value) {
    const char* previous = std::getenv("LC_ALL");
    had_ = previous != nullptr;
    if (had_) previous_ = previous;
    SetEnvironment("LC_ALL", value);
  }
  ~tLocaleEnvironment() { SetEnvironment("LC_ALL", had_ ? previous_.c_str() : nullptr); }

 private:
  bool had_ = false;
  std::string previous_;
};

bool LocaleInstalled(const char* name) {
  const std::string saved = std::setlocale(LC_NUMERIC, nullptr);
  const bool installed = std::setlocale(LC_NUMERIC, name) != nullptr;
  std::setlocale(LC_NUMERIC, saved.c_str());
  return installed;
}

}  // namespace

TEST(UserDecimalSeparator, FollowsTheLocaleAndLeavesTheProgramsLocaleAlone) {
  const std::string before = std::setlocale(LC_NUMERIC, nullptr);
  {
    tLocaleEnvironment c("C");
    EXPECT_EQ(UserDecimalSeparator(), '.');
  }
  {
    tLocaleEnvironment unknown("xx_NOWHERE.UTF-8");
    EXPECT_EQ(UserDecimalSeparator(), '.');
  }
  EXPECT_EQ(std::setlocale(LC_NUMERIC, nullptr), before);
  if (!LocaleInstalled("de_DE.UTF-8")) GTEST_SKIP() << "de_DE.UTF-8 is not installed";
  tLocaleEnvironment german("de_DE.UTF-8");
  EXPECT_EQ(UserDecimalSeparator(), ',');
  EXPECT_EQ(std::setlocale(LC_NUMERIC, nullptr), before);
}
