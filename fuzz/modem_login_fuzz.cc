// The modem's byte stream through the login state machine's line assembly
// and classification, with the PPP detector fed every byte as the read loop
// does.  Input: the administrator password up to the first newline, then
// the bytes from the line.  The line buffer always holds its count of
// characters and its terminator; a line ends only at a line end or when the
// buffer is full; IPMI framing bytes never reach it; a line is the password
// exactly when it equals it; noise is shown printable and as long.
#include <cstdint>
#include <cstring>

#include "fuzz/stand_ins.h"
#include "login/login.h"

using fuzzing::check;

namespace {

bool endsWith(const char *line, const char *word) {
  size_t n = strlen(line);
  size_t w = strlen(word);
  return n >= w && memcmp(line + n - w, word, w) == 0;
}

void checkLine(const char *text, const char *passwd) {
  ModemLineKind kind = classifyModemLine(text, passwd);
  check((kind == ModemLineKind::kEmpty) == (text[0] == 0), "only an empty line is empty");
  if (!text[0]) return;
  check((kind == ModemLineKind::kPassword) == (strcmp(text, passwd) == 0),
        "the password and nothing else admits");
  if (kind == ModemLineKind::kPassword) return;
  check((kind == ModemLineKind::kRing) == endsWith(text, "RING"), "a ring ends the line");
  if (kind == ModemLineKind::kConnect) check(strstr(text, "CONNECT") != nullptr, "CONNECT seen");

  char shown[kModemLineSize];
  maskUnprintable(text, shown);
  check(strlen(shown) == strlen(text), "noise shown at full length");
  for (const char *p = shown; *p; p++) check(*p >= 0x20 && *p < 0x7F, "noise shown printable");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const uint8_t *newline = static_cast<const uint8_t *>(memchr(data, '\n', size));
  size_t passwdLength = newline ? static_cast<size_t>(newline - data) : 0;
  char passwd[kModemLineSize];
  if (passwdLength >= sizeof passwd) passwdLength = sizeof passwd - 1;
  memcpy(passwd, data, passwdLength);
  passwd[passwdLength] = 0;
  size_t start = newline ? static_cast<size_t>(newline - data) + 1 : 0;

  pppFrameSeen(0x00);
  ModemLine line = {};
  for (size_t i = start; i < size; i++) {
    unsigned char byte = data[i];
    pppFrameSeen(byte);
    int before = line.count;
    ModemByte result = modemLineByte(&line, byte);
    check(line.count >= 0 && line.count < kModemLineSize, "count within the buffer");
    check(line.text[line.count] == 0 && strlen(line.text) == static_cast<size_t>(line.count),
          "the buffer holds its count and a terminator");
    bool isIpmi = byte == 0xA0 || byte == 0xA5 || byte == 0xA6 || byte == 0xAA;
    check((result == ModemByte::kIpmi) == isIpmi, "IPMI framing bytes reported");
    if (isIpmi) check(line.count == before, "IPMI framing bytes not stored");
    if (result != ModemByte::kEndOfLine) continue;
    check(byte == '\r' || byte == '\n' || line.count == kModemLineSize - 1,
          "a line ends at a line end or a full buffer");
    char text[kModemLineSize];
    memcpy(text, line.text, sizeof text);
    line.count = 0;
    line.text[0] = 0;
    checkLine(text, passwd);
  }
  return 0;
}
