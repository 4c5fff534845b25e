// What one SNMP request costs the agent: the refresh of the configuration
// that precedes every request (nothing saved since, and a save by another
// process), and the answer of a configuration-table get.  Speed targets live
// here rather than in timed tests; run with `make bench`.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/config_store.h"
#include "platform/host/config_store_internal.h"
#include "snmp/snmp_internal.h"

namespace {

// An image with the factory defaults in a scratch directory: the product's
// own image path is the unit's, which this machine does not have.
const char *image() {
  static std::string path;
  if (path.empty()) {
    char dir[] = "/tmp/setup-bench-XXXXXX";
    if (!mkdtemp(dir)) abort();
    path = std::string(dir) + "/eeprom.img";
    factoryDefaults();
    if (cfgSave(path.c_str()) != 0) abort();
    atexit([] {
      unlink(path.c_str());
      rmdir(path.substr(0, path.rfind('/')).c_str());
    });
  }
  return path.c_str();
}

void refreshWithNothingSaved(benchmark::State &state) {
  cfgLoad(image());
  long loads = cfgLoadCount();
  for (auto _ : state) cfgUpdate(image());
  if (cfgLoadCount() != loads) state.SkipWithError("the refresh reloaded");
}
BENCHMARK(refreshWithNothingSaved);

// The worst case of the refresh: every request follows a save.
void refreshAfterASave(benchmark::State &state) {
  cfgLoad(image());
  for (auto _ : state) {
    state.PauseTiming();
    cfgSave(image());
    state.ResumeTiming();
    cfgUpdate(image());
  }
}
BENCHMARK(refreshAfterASave)->Iterations(200);

// The answer goes to standard output; keep it off the report.
void configGet(benchmark::State &state) {
  cfgLoad(image());
  fflush(stdout);
  int saved = dup(1);
  int null = open("/dev/null", O_WRONLY);
  dup2(null, 1);
  for (auto _ : state) {
    snmpGet(".1.3.6.1.4.1.53177.2.1.1.1.3.2", 0);
    fflush(stdout);
  }
  dup2(saved, 1);
  close(null);
  close(saved);
}
BENCHMARK(configGet);

}  // namespace

BENCHMARK_MAIN();
