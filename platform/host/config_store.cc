// The configuration store: this process's working copy of the unit's
// settings and the saved copy in the EEPROM.
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
// The working copy lives in static storage: an entry table and a pool of
// the decoded keys and values.  A changed value goes to the end of the pool
// and the old text stays where it was until the pool fills up and is packed,
// so pointers from cfgGet normally outlive later edits; they are only
// promised until the next change or reload.
//
// readConfigUpdate compares the image's two slot headers with those seen at
// the last load or save; only when they differ is the image read and parsed
// again.  Every save changes a header (new generation, new CRC).
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/config_store.h"
#include "platform/host/config_store_internal.h"
#include "platform/host/eeprom_image.h"
#include "platform/host/unit_paths.h"

namespace {

struct Entry {
  uint16_t key;    // offset in pool
  uint16_t value;  // offset in pool
  uint16_t keyLen;
  uint16_t valueLen;
};

// Smallest line: "k=\n".
constexpr int kMaxEntries = kCfgTextMax / 3 + 1;
// Live strings take at most kCfgTextMax bytes ('=' and the line end become
// the terminators, escapes shrink).  While a value is replaced the old one
// is still live, so a pack must leave room for both: the rest is room for
// replaced values.
constexpr int kPoolSize = 3 * kEepromSize;
static_assert(kPoolSize <= 65535, "pool offsets are 16 bits");

Entry entries[kMaxEntries];
int entryCount;
char pool[kPoolSize];
int poolUsed;
int textSize;  // characters of the working copy as saved text

// What the image looked like when this process last loaded or saved.
EepromHeaders seenHeaders;
bool loaded;
long loadCount;

// Scratch for the saved text and for packing the pool.
char textBuf[kEepromSize];
char packBuf[kPoolSize];

bool validKey(const char *key) {
  if (!key || !*key) return false;
  for (const char *p = key; *p; p++) {
    if (*p == '=' || static_cast<unsigned char>(*p) < 0x20 || *p == 0x7F)
      return false;
  }
  return true;
}

int escapedLen(const char *value, int len) {
  int n = len;
  for (int i = 0; i < len; i++) {
    if (value[i] == '\\' || value[i] == '\n') n++;
  }
  return n;
}

int lineSize(int keyLen, const char *value, int valueLen) {
  return keyLen + 1 + escapedLen(value, valueLen) + 1;
}

int findEntry(const char *key) {
  for (int i = 0; i < entryCount; i++) {
    if (strcmp(pool + entries[i].key, key) == 0) return i;
  }
  return -1;
}

void packPool() {
  int used = 0;
  for (int i = 0; i < entryCount; i++) {
    Entry &e = entries[i];
    memcpy(packBuf + used, pool + e.key, e.keyLen + 1);
    e.key = static_cast<uint16_t>(used);
    used += e.keyLen + 1;
    memcpy(packBuf + used, pool + e.value, e.valueLen + 1);
    e.value = static_cast<uint16_t>(used);
    used += e.valueLen + 1;
  }
  memcpy(pool, packBuf, used);
  poolUsed = used;
}

// Copies s (n characters) into the pool; its offset.  The caller has made
// sure that the live strings plus s stay within kCfgTextMax, so after
// packing there is always room.
int poolAdd(const char *s, int n) {
  if (poolUsed + n + 1 > kPoolSize) packPool();
  int at = poolUsed;
  memcpy(pool + at, s, n);
  pool[at + n] = 0;
  poolUsed += n + 1;
  return at;
}

bool inPool(const char *s) { return s >= pool && s < pool + kPoolSize; }

int setValue(const char *key, const char *value, int valueLen) {
  // Packing the pool moves what lives in it: a key or value taken from the
  // working copy itself is copied out first.
  static char keyCopy[kEepromSize];
  static char valueCopy[kEepromSize];
  int keyLen = static_cast<int>(strlen(key));
  if (keyLen > kCfgTextMax || valueLen > kCfgTextMax) return -1;
  if (inPool(key)) key = static_cast<const char *>(memcpy(keyCopy, key, keyLen + 1));
  if (inPool(value)) {
    memcpy(valueCopy, value, valueLen);
    valueCopy[valueLen] = 0;
    value = valueCopy;
  }

  int index = findEntry(key);
  int newSize = lineSize(keyLen, value, valueLen);
  int oldSize = 0;
  if (index >= 0) {
    const Entry &e = entries[index];
    oldSize = lineSize(e.keyLen, pool + e.value, e.valueLen);
  } else if (entryCount >= kMaxEntries) {
    return -1;
  }
  if (textSize - oldSize + newSize > kCfgTextMax) return -1;

  if (index < 0) {
    // The entry counts only once its key is in the pool: a pack walks
    // every counted entry.
    uint16_t at = static_cast<uint16_t>(poolAdd(key, keyLen));
    index = entryCount++;
    // Its value is "" (the key's terminator) until set below.
    entries[index] = {at, static_cast<uint16_t>(at + keyLen),
                      static_cast<uint16_t>(keyLen), 0};
  }
  entries[index].value = static_cast<uint16_t>(poolAdd(value, valueLen));
  entries[index].valueLen = static_cast<uint16_t>(valueLen);
  textSize += newSize - oldSize;
  return 0;
}

// Decodes one escaped value of n characters into out; its length.
int unescape(const char *in, int n, char *out) {
  int len = 0;
  for (int i = 0; i < n; i++) {
    if (in[i] != '\\') {
      out[len++] = in[i];
      continue;
    }
    if (++i >= n) break;
    out[len++] = in[i] == 'n' ? '\n' : in[i];
  }
  return len;
}

}  // namespace

int cfgCount() { return entryCount; }
const char *cfgKeyAt(int index) { return pool + entries[index].key; }
const char *cfgValueAt(int index) { return pool + entries[index].value; }
int cfgTextSize() { return textSize; }
long cfgLoadCount() { return loadCount; }

void cfgClear() {
  entryCount = 0;
  poolUsed = 0;
  textSize = 0;
}

int cfgTextFormat(char *out, int size) {
  int len = 0;
  for (int i = 0; i < entryCount; i++) {
    const Entry &e = entries[i];
    if (len + lineSize(e.keyLen, pool + e.value, e.valueLen) >= size)
      return -1;
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
  }
  out[len] = 0;
  return len;
}

int cfgTextParse(const char *text) {
  // One decoded value at a time; a value is never longer than the text.
  static char value[kEepromSize];
  static char key[kEepromSize];
  cfgClear();
  int taken = 0;
  const char *line = text;
  while (*line) {
    const char *end = strchr(line, '\n');
    int n = end ? static_cast<int>(end - line) : static_cast<int>(strlen(line));
    const char *eq = static_cast<const char *>(memchr(line, '=', n));
    if (eq && eq > line) {
      int keyLen = static_cast<int>(eq - line);
      memcpy(key, line, keyLen);
      key[keyLen] = 0;
      int valueLen = unescape(eq + 1, n - keyLen - 1, value);
      value[valueLen] = 0;
      // A value cannot hold a NUL: what follows one is lost.
      valueLen = static_cast<int>(strlen(value));
      if (validKey(key) && setValue(key, value, valueLen) == 0) taken++;
    }
    line += n;
    if (*line == '\n') line++;
  }
  return taken;
}

int cfgLoad(const char *path) {
  loadCount++;
  loaded = true;
  uint64_t generation = 0;
  int rc = eepromReadImage(path, textBuf, &generation, &seenHeaders);
  if (rc == 0 && cfgTextParse(textBuf) > 0) return 0;
  factoryDefaults();
  if (rc == kEepromOk || rc == kEepromBlank) {
    logIt(kLogError, "Configuration store: no settings in the EEPROM, "
                     "factory defaults loaded.");
  } else {
    logIt(kLogError, "Configuration store: no valid copy in the EEPROM, "
                     "factory defaults loaded.");
  }
  return -1;
}

int cfgUpdate(const char *path) {
  if (!loaded) return cfgLoad(path);
  EepromHeaders now;
  eepromReadHeaders(path, &now);
  if (eepromSameHeaders(now, seenHeaders)) return 0;
  return cfgLoad(path);
}

int cfgSave(const char *path) {
  int n = cfgTextFormat(textBuf, sizeof textBuf);
  if (n < 0) return -1;
  EepromHeaders after;
  if (eepromWriteImage(path, textBuf, n + 1, nullptr, &after) != 0) {
    int err = errno;
    logIt(kLogError, "Configuration store: saving to the EEPROM failed: %s",
          strerror(err));
    return -1;
  }
  seenHeaders = after;
  loaded = true;
  return 0;
}

int readConfig() { return cfgLoad(unit::kEepromImage); }
int readConfigUpdate() { return cfgUpdate(unit::kEepromImage); }
int updateCfgSave() { return cfgSave(unit::kEepromImage); }

const char *cfgGet(const char *key) {
  if (!key) return "";
  int index = findEntry(key);
  return index < 0 ? "" : pool + entries[index].value;
}

int cfgGetN(const char *key) {
  return static_cast<int>(strtoul(cfgGet(key), nullptr, 0));
}

int cfgSet(const char *key, const char *value) {
  if (!validKey(key) || !value) return -1;
  if (setValue(key, value, static_cast<int>(strlen(value))) == 0) return 0;
  logIt(kLogError, "Configuration store: no room for '%s'; not set.", key);
  return -1;
}

int cfgSetN(const char *key, int value) {
  char text[16];
  if (cfgIsIPAddress(key)) {
    snprintf(text, sizeof text, "%u", static_cast<unsigned>(value));
  } else {
    snprintf(text, sizeof text, "%d", value);
  }
  return cfgSet(key, text);
}

int cfgDelete(const char *key) {
  if (!key) return -1;
  int index = findEntry(key);
  if (index < 0) return 0;
  const Entry &e = entries[index];
  textSize -= lineSize(e.keyLen, pool + e.value, e.valueLen);
  memmove(entries + index, entries + index + 1,
          (entryCount - index - 1) * sizeof(Entry));
  entryCount--;
  return 0;
}

int cfgIsDefined(const char *key) { return key && findEntry(key) >= 0; }

int houseKeeping() { return 0; }
