#pragma once

#include "bus/Bus.h"
#include "diag/Run.h"

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace diag {

// The tests named "scan" and "io@PLACE", in their order; each IO test with `io`'s options.
std::vector<std::unique_ptr<TCardTest>> CheckTests(bus::TBus& bus,
                                                   const std::vector<std::string>& names,
                                                   TIoTest::TOptions io);

// morvelplint-check's run on a bus that is there: the set-up for `choice`, then the run to its
// end (a lost line or a silent rack ends it as unreachable) or until `stop` says so, its
// progress on `progress` (none: quiet) as one line that a terminal overwrites or a plain line
// every ten seconds elsewhere. An output that is closed (a pipe whose reader is gone) ends the
// display, not the run.
void RunCheck(bus::TBus& bus, TRun& run, const bus::TSetUpChoice& choice, std::FILE* progress,
              const std::function<bool()>& stop);
// What each test counted, the cards that said nothing, and the verdict.
void PrintSummary(const TRun& run, std::FILE* out);

} // namespace diag
