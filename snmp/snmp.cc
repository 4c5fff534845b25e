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

struct Buffers {
  // Line buffers; their sizes limit what one request line may carry.
  char requestLine[160];
  char valueLine[1024];
  // Stream buffers of our own, so that no request allocates and an answer
  // leaves in one write when the loop flushes.  The output side holds the
  // longest answer: an OID line and a value line of kAnswerValueMax.
  char input[4096];
  char output[8192];
};
// In one block, the lines first: a request uses the lines and the
// beginnings of the stream buffers, which then lie in two pages of memory.
alignas(4096) Buffers buffers;
char (&requestLine)[160] = buffers.requestLine;
char (&valueLine)[1024] = buffers.valueLine;

// A line longer than its buffer, or holding a NUL (which would cut it short
// where C text ends), is read whole but refused.
enum LineRead { kInputEnded, kLineRead, kLineTooLong, kLineHasNul };

// Reads one line into buffer, without its newline and trailing white space.
// A line longer than the buffer is read to its end all the same: if its
// rest were left in the stream it would be taken for further command lines
// (a value ending in "PING" would earn an answer nobody asked for), and
// every later answer would reach the daemon as the answer to the request
// before it.  Such a line is kLineTooLong, and its request is refused whole;
// so is a line with a NUL (kLineHasNul), whose text would end there: a value
// stored only up to it is not the value the manager sent.
LineRead readLine(FILE *in, char *buffer, int size) {
  int length = 0;
  bool tooLong = false;
  bool nul = false;
  int c;
  while ((c = getc_unlocked(in)) != EOF && c != '\n') {
    nul |= c == 0;
    if (length < size - 1)
      buffer[length++] = static_cast<char>(c);
    else
      tooLong = true;
  }
  buffer[length] = '\0';
  // A last line without its newline still counts; nothing at all does not.
  if (c == EOF && (length == 0 || ferror(in) || tooLong)) return kInputEnded;
  trimR(buffer);
  if (tooLong) return kLineTooLong;
  return nul ? kLineHasNul : kLineRead;
}

// Answers a request with a refused line; false when both lines are usable.
bool refused(LineRead a, LineRead b, const char *answer) {
  if (a == kLineRead && b == kLineRead) return false;
  logIt(kLogNotice, a == kLineTooLong || b == kLineTooLong
                        ? "SNMP: Request line too long, refused"
                        : "SNMP: Request line holds a NUL, refused");
  fputs(answer, stdout);
  return true;
}

void setOidPrefix() {
  if (tfIsDefined(oemDB, "snmpOID")) oidPrefix = tfGet(oemDB, "snmpOID");
  oidPrefixLength = static_cast<int>(strlen(oidPrefix));
}

}  // namespace

void runCommandLoop(FILE *in) {
  for (;;) {
    fflush(stdout);
    LineRead command = readLine(in, requestLine, sizeof requestLine);
    if (command == kInputEnded) return;
    // A keep-alive arrives before every request: it must stay cheap.
    if (strcmp(requestLine, "PING") == 0) {
      fputs("PONG\n", stdout);
      continue;
    }
    readConfigUpdate();

    if (strncmp(requestLine, "get", 3) == 0) {
      int next = strcmp(requestLine, "getnext") == 0;
      LineRead oid = readLine(in, requestLine, sizeof requestLine);
      if (oid == kInputEnded) return;
      if (!refused(oid, kLineRead, "NONE\n") && snmpGet(requestLine, next) != 0)
        fputs("NONE\n", stdout);
    } else if (strcmp(requestLine, "set") == 0) {
      LineRead oid = readLine(in, requestLine, sizeof requestLine);
      if (oid == kInputEnded) return;
      LineRead value = readLine(in, valueLine, sizeof valueLine);
      if (value == kInputEnded) return;
      // A cut value must not be stored as if it were the whole one.
      if (!refused(oid, value, "not-writable\n")) snmpSet(requestLine, valueLine);
    } else {
      logIt(kLogNotice, "SNMP: Bad cmd line: %s", requestLine);
    }
  }
}

void doSnmp() {
  setvbuf(stdin, buffers.input, _IOFBF, sizeof buffers.input);
  setvbuf(stdout, buffers.output, _IOFBF, sizeof buffers.output);
  readConfig();
  oemSetup();
  setOidPrefix();
  runCommandLoop(stdin);
}
