// What quorrel-report --help prints.  The manual page quorrel-report(1)
// says the same at length; tests/cli/manual_page_test.sh checks that the two
// name the same options and exit statuses.
#pragma once

#include <string>

// The usage summary and the full help text.
std::string UsageText();
std::string HelpText();
