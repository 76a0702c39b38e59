// The library for web pages is src/analysis/quorrel_c_api.h's functions, and
// this file only gives its link a source: the exported functions come from
// the analysis library, as the link options name them.
#include "analysis/quorrel_c_api.h"
