#include <cstdio>
#include <string>

#include "services/core/memory_service.h"
#include "tools/sfxkit/cli.h"
#include "tools/sfxkit/commands.h"

namespace sfx::cli {

const char kStatsUsage[] =
    "usage: sfxkit stats\n"
    "\n"
    "Prints the memory service's statistics (peak and current bytes, allocations\n"
    "and frees) as this process sees them; a quick check that the library works.\n";

int RunStats(int argc, char** argv) {
  if (argc > 1) return ReportUsageError(kCommands[0], std::string("unexpected argument '") + argv[1] + "'");
  std::uint32_t peak = 0, current = 0, allocations = 0, frees = 0;
  const Result r = Memory()->GetStatistics(&peak, &current, &allocations, &frees);
  if (Failed(r)) return ReportFailure("statistics", r);
  std::printf("peak %u\ncurrent %u\nallocations %u\nfrees %u\n", peak, current, allocations, frees);
  return kExitOk;
}

}  // namespace sfx::cli
