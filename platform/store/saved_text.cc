// The saved text: the form the working copy takes in the EEPROM.
//
// Saved text format (the EEPROM holds it NUL-terminated, at most 8191
// characters):
//
//   key=value\n   one line per key, in the order the keys were first set
//
// A key is at least one character and holds no '=' and no control
// character.  The value is everything after the first '=' up to the line
// end, with two escapes so that any text fits on one line: a backslash is
// stored as "\\" and a newline as "\n" (backslash, letter n).  A backslash
// before any other character stands for that character; a lone backslash at
// the end of a line is dropped.  Numbers are stored as decimal text (address
// keys unsigned, see cfgSetN), switches as 0 or 1.  Lines without '=' are
// skipped on loading; a text without a single key (an erased or blank
// EEPROM) gives the factory defaults.
//
// Owns: escaping and unescaping, cfgTextFormat and cfgTextParse.  Touches:
// the working copy, through putValue and cfgClear only.
#include <cstdint>
#include <cstring>

#include "platform/config_store.h"
#include "platform/store/store_parts.h"

namespace store {

int unescape(const char *in, int n, char *out, int *escapes) {
  // Most values hold no escape at all: one copy.  (A line holds no raw
  // newline, so then nothing needs an escape either.)
  if (n <= 0 || !memchr(in, '\\', n)) {
    n = n < 0 ? 0 : n;
    memcpy(out, in, n);
    out[n] = 0;
    *escapes = 0;
    return n;
  }
  int len = 0;
  int count = 0;
  for (int i = 0; i < n; i++) {
    if (in[i] != '\\') {
      count += in[i] == '\n';
      out[len++] = in[i];
      continue;
    }
    if (++i >= n) break;
    char c = in[i] == 'n' ? '\n' : in[i];
    count += c == '\\' || c == '\n';
    out[len++] = c;
  }
  out[len] = 0;
  *escapes = count;
  return len;
}

// Appends an entry as a saved-text line, after a one-character prefix when
// one is given; the new length, or -1 when it does not fit in size (with
// room left for the terminator).
int appendLine(char *out, int len, int size, char prefix, const Entry &e) {
  if (len < 0) return -1;
  int need = (prefix ? 1 : 0) + lineSize(e.keyLen, pool + e.value, e.valueLen);
  if (len + need >= size) return -1;
  if (prefix) out[len++] = prefix;
  memcpy(out + len, pool + e.key, e.keyLen);
  len += e.keyLen;
  out[len++] = '=';
  for (const char *p = pool + e.value; *p; p++) {
    if (*p == '\\' || *p == '\n') {
      out[len++] = '\\';
      out[len++] = *p == '\n' ? 'n' : '\\';
    } else {
      out[len++] = *p;
    }
  }
  out[len++] = '\n';
  out[len] = 0;
  return len;
}

}  // namespace store

using namespace store;

int cfgTextFormat(char *out, int size) {
  int len = 0;
  if (size < 1) return -1;
  out[0] = 0;
  for (int i = 0; i < entryCount && len >= 0; i++)
    len = appendLine(out, len, size, 0, entries[i]);
  return len;
}

int cfgTextParse(const char *text) {
  // A value with escapes is decoded here, one at a time; a value is never
  // longer than the text.
  static char decoded[kEepromSize];
  cfgClear();
  int taken = 0;
  const char *line = text;
  while (*line) {
    const char *end = strchr(line, '\n');
    int n = end ? static_cast<int>(end - line) : static_cast<int>(strlen(line));
    const char *eq = static_cast<const char *>(memchr(line, '=', n));
    if (eq && eq > line) {
      // The key is checked and hashed in one pass, where it stands.
      int keyLen = static_cast<int>(eq - line);
      uint32_t hash = kHashStart;
      bool bad = false;
      for (int i = 0; i < keyLen; i++) {
        unsigned char c = static_cast<unsigned char>(line[i]);
        bad |= kBadKeyChars.bad[c];
        hash = hashStep(hash, c);
      }
      // The text holds no NUL, so neither does the value.  Most values hold
      // no escape and are taken where they stand, as the key is.
      const char *value = eq + 1;
      int valueLen = n - keyLen - 1;
      int escapes = 0;
      if (memchr(value, '\\', valueLen)) {
        valueLen = unescape(value, valueLen, decoded, &escapes);
        value = decoded;
      }
      if (!bad && putValue(line, keyLen, hash, value, valueLen,
                            keyLen + valueLen + escapes + 2) >= 0)
        taken++;
    }
    line += n;
    if (*line == '\n') line++;
  }
  return taken;
}

