// Modem line assembly and classification: what a modem, a terminal or line
// noise sent, one line at a time.
#include <cstring>

#include "login/login.h"

namespace {

bool endsWith(const char *line, const char *word) {
  size_t length = strlen(line);
  size_t wordLength = strlen(word);
  return length >= wordLength && strcmp(line + length - wordLength, word) == 0;
}

}  // namespace

ModemByte modemLineByte(ModemLine *line, unsigned char byte) {
  switch (byte) {
    case 0x00:
      // Modems emit NULs as padding; they never belong to a line.
      return ModemByte::kTaken;
    case 0x08:
    case 0x7F:
      if (line->count > 0) line->text[--line->count] = 0;
      return ModemByte::kTaken;
    case 0x15:
    case 0x18:
      line->count = 0;
      line->text[0] = 0;
      return ModemByte::kTaken;
    case 0x0A:
    case 0x0D:
      return ModemByte::kEndOfLine;
    // Start, stop, handshake and data escape of IPMI serial basic mode: a
    // management controller's traffic, never part of a modem's text.
    case 0xA0:
    case 0xA5:
    case 0xA6:
    case 0xAA:
      return ModemByte::kIpmi;
    default:
      break;
  }
  line->text[line->count++] = static_cast<char>(byte);
  line->text[line->count] = 0;
  return line->count == kModemLineSize - 1 ? ModemByte::kEndOfLine
                                           : ModemByte::kTaken;
}

ModemLineKind classifyModemLine(const char *line, const char *passwd) {
  // Modems answer with blank lines around every report.
  if (!line[0]) return ModemLineKind::kEmpty;
  if (strcmp(line, passwd) == 0) return ModemLineKind::kPassword;
  // A ring report is a line ending in the word; "RINGING" is not one.
  if (endsWith(line, "RING")) return ModemLineKind::kRing;
  if (endsWith(line, "NO CARRIER")) return ModemLineKind::kNoCarrier;
  // Modems put the speed and protocol after it, some text before it.
  if (strstr(line, "CONNECT")) return ModemLineKind::kConnect;

  // Modem result codes are upper-case ASCII words; anything else is noise
  // on the line or a terminal typing at a modem port.
  bool letter = false;
  for (const char *p = line; *p; p++) {
    unsigned char c = static_cast<unsigned char>(*p);
    if (c >= 0x80 || (c >= 'a' && c <= 'z')) return ModemLineKind::kPortNoise;
    if (c >= 'A' && c <= 'Z') letter = true;
  }
  return letter ? ModemLineKind::kModemNoise : ModemLineKind::kPortNoise;
}

void maskUnprintable(const char *line, char *out) {
  int i = 0;
  for (; line[i] && i < kModemLineSize - 1; i++) {
    unsigned char c = static_cast<unsigned char>(line[i]);
    out[i] = (c >= 0x20 && c < 0x7F) ? line[i] : '.';
  }
  out[i] = 0;
}
