// The agent's command loop: the pass_persist line protocol on standard
// input and output, one request at a time, each answer flushed before the
// next line is read.  The daemon waits for answers without a time-out, so
// an answer left in the buffer would hang it.
#include <cstdio>
#include <cstring>

#include "platform/config_store.h"
#include "platform/device_services.h"
#include "snmp/snmp.h"
#include "snmp/snmp_internal.h"

const char *oidPrefix = kDefaultOidPrefix;
int oidPrefixLength = static_cast<int>(sizeof kDefaultOidPrefix - 1);

namespace {

// Line buffers; their sizes limit what one read takes in, and the rest of
// a longer line is read as the next line.
char requestLine[160];
char valueLine[1024];

// Stream buffers of our own, so that no request allocates and an answer
// leaves in one write when the loop flushes.
char inputBuffer[4096];
char outputBuffer[4096];

bool readLine(char *buffer, int size) {
  if (!fgets(buffer, size, stdin)) return false;
  trimR(buffer);
  return true;
}

void setOidPrefix() {
  if (tfIsDefined(oemDB, "snmpOID")) oidPrefix = tfGet(oemDB, "snmpOID");
  oidPrefixLength = static_cast<int>(strlen(oidPrefix));
}

}  // namespace

void doSnmp() {
  setvbuf(stdin, inputBuffer, _IOFBF, sizeof inputBuffer);
  setvbuf(stdout, outputBuffer, _IOFBF, sizeof outputBuffer);
  readConfig();
  oemSetup();
  setOidPrefix();

  for (;;) {
    fflush(stdout);
    if (!readLine(requestLine, sizeof requestLine)) return;
    // A keep-alive arrives before every request: it must stay cheap.
    if (strcmp(requestLine, "PING") == 0) {
      fputs("PONG\n", stdout);
      continue;
    }
    readConfigUpdate();

    if (strncmp(requestLine, "get", 3) == 0) {
      int next = strcmp(requestLine, "getnext") == 0;
      if (!readLine(requestLine, sizeof requestLine)) return;
      if (snmpGet(requestLine, next) != 0) fputs("NONE\n", stdout);
    } else if (strcmp(requestLine, "set") == 0) {
      if (!readLine(requestLine, sizeof requestLine)) return;
      if (!readLine(valueLine, sizeof valueLine)) return;
      snmpSet(requestLine, valueLine);
    } else {
      logIt(kLogNotice, "SNMP: Bad cmd line: %s", requestLine);
    }
  }
}
