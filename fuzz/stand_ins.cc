#include "fuzz/stand_ins.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <sys/mman.h>

#include "platform/config_store.h"
#include "platform/device_services.h"
#include "platform/store/store_internal.h"
#include "snmp/snmp_internal.h"

// Each stand-in takes the place of the product function whose linker name
// follows "__wrap_" (see CMakeLists.txt).
#define STAND_IN(name) __asm__("__wrap_" name)

namespace fuzzing {

Counts counts;

namespace {

char saved[kEepromSize];
char logLine[1024];
unsigned char screenRecord[kScreenRecordSize];

}  // namespace

void check(bool condition, const char *what) {
  if (condition) return;
  fprintf(stderr, "invariant broken: %s\n", what);
  abort();
}

void resetUnit() {
  // Loading the defaults costs a key search per key: most inputs change
  // nothing, and then the unit is still as the last reset left it.
  static char defaults[kEepromSize];
  static int defaultsLength = -1;
  static char working[kEepromSize];
  int length = cfgTextFormat(working, sizeof working);
  bool unchanged = defaultsLength >= 0 && length == defaultsLength &&
                   memcmp(working, defaults, length) == 0 &&
                   memcmp(saved, defaults, length + 1) == 0;
  if (!unchanged) {
    factoryDefaults();
    defaultsLength = cfgTextFormat(defaults, sizeof defaults);
    check(defaultsLength >= 0, "defaults fit the EEPROM");
    memcpy(saved, defaults, defaultsLength + 1);
  }
  counts = {};
  logLine[0] = 0;
}

const char *lastLogLine() { return logLine; }
const char *savedText() { return saved; }

size_t withStreams(const unsigned char *data, size_t size, void (*fn)(),
                   char *out, size_t outSize) {
  // A memory stream cannot be opened on nothing: one byte stands in, and
  // is read away before fn starts.
  static unsigned char empty[1];
  FILE *in = fmemopen(size ? const_cast<unsigned char *>(data) : empty,
                      size ? size : 1, "r");
  check(in != nullptr, "fmemopen for reading");
  if (!size) fgetc(in);
  // Output to a fixed buffer: the product code may give its streams
  // buffers of its own, which a dynamic memory stream does not allow.
  static char collected[1 << 20];
  FILE *outStream = fmemopen(collected, sizeof collected, "w");
  check(outStream != nullptr, "fmemopen for writing");

  FILE *oldIn = stdin;
  FILE *oldOut = stdout;
  stdin = in;
  stdout = outStream;
  fn();
  fflush(stdout);
  long length = ftell(stdout);
  stdin = oldIn;
  stdout = oldOut;
  fclose(in);
  fclose(outStream);

  size_t total = length > 0 ? static_cast<size_t>(length) : 0;
  size_t n = total < outSize - 1 ? total : outSize - 1;
  memcpy(out, collected, n);
  out[n] = 0;
  return total;
}

}  // namespace fuzzing

using fuzzing::counts;

void wrapLogIt(int priority, const char *format, ...) STAND_IN("_Z5logItiPKcz");
void wrapLogIt(int priority, const char *format, ...) {
  fuzzing::check(priority == kLogNotice || priority == kLogError,
                 "log priority is notice or error");
  va_list args;
  va_start(args, format);
  vsnprintf(fuzzing::logLine, sizeof fuzzing::logLine, format, args);
  va_end(args);
  counts.logLines++;
}

// The store keeps its saved copy in memory; a load that finds no key gives
// the factory defaults, as the EEPROM's does.
int wrapReadConfig() STAND_IN("_Z10readConfigv");
int wrapReadConfig() {
  counts.loads++;
  if (cfgTextParse(fuzzing::saved) > 0) return 0;
  factoryDefaults();
  return -1;
}

int wrapReadConfigUpdate() STAND_IN("_Z16readConfigUpdatev");
int wrapReadConfigUpdate() { return 0; }

int wrapUpdateCfgSave() STAND_IN("_Z13updateCfgSavev");
int wrapUpdateCfgSave() {
  counts.saves++;
  return cfgTextFormat(fuzzing::saved, sizeof fuzzing::saved) < 0 ? -1 : 0;
}

int wrapUpdateCfgPasswd() STAND_IN("_Z15updateCfgPasswdv");
int wrapUpdateCfgPasswd() { return 0; }

void wrapStartReboot() STAND_IN("_Z11startRebootv");
void wrapStartReboot() { counts.reboots++; }

void wrapStartWarmRestart() STAND_IN("_Z16startWarmRestartv");
void wrapStartWarmRestart() { counts.warmRestarts++; }

const unsigned char *wrapGetScreen() STAND_IN("_Z9getScreenv");
const unsigned char *wrapGetScreen() { return fuzzing::screenRecord; }

const char *wrapReadFirstLine(const char *path) STAND_IN("_Z13readFirstLinePKc");
const char *wrapReadFirstLine(const char *) { return "3.4.1 build 2042"; }

// No identity file: the unit answers under the default OID prefix.
void wrapOemSetup() STAND_IN("_Z8oemSetupv");
void wrapOemSetup() {}

int wrapSystemX(const char *command) STAND_IN("_Z7systemXPKc");
int wrapSystemX(const char *) {
  counts.programsRun++;
  return 0;
}

int wrapRunProgram(const char *const argv[]) STAND_IN("_Z10runProgramPKPKc");
int wrapRunProgram(const char *const *) {
  counts.programsRun++;
  return 0;
}

int wrapStartPppd(int port, const char *name) STAND_IN("_Z9startPppdiPKc");
int wrapStartPppd(int, const char *) {
  counts.pppHandOvers++;
  return -1;
}

void wrapStartIpmi(int requested, int port) STAND_IN("_Z9startIpmiii");
void wrapStartIpmi(int, int) { counts.ipmiHandOvers++; }

int fuzzing::memoryFile(const char *name, char *path, int pathSize) {
  int fd = memfd_create(name, 0);
  check(fd >= 0, "memfd_create");
  snprintf(path, pathSize, "/proc/self/fd/%d", fd);
  return fd;
}
