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
// The working copy lives in static storage: an entry table, a hash index
// over it (so that a lookup costs the same whichever row it finds) and a
// pool of the decoded keys and values.  A changed value goes to the end of
// the pool and the old text stays where it was until the pool fills up and
// is packed, so pointers from cfgGet normally outlive later edits; they are
// only promised until the next change, reload or save.
//
// Saves are merges.  Several processes of the unit save into the store, each
// from a working copy loaded at its own time, so a save of the whole copy
// would put back whatever another process changed since.  Each process
// therefore records which keys it changed since its last load or save (and
// whether it cleared the copy, as a reset to factory defaults does); a save
// reads the newest saved text under the image's lock, applies this
// process's changes to it and writes the result.  Keys this process did not
// touch keep their newest saved value; for a key both changed, the later
// save wins.  When nobody saved since this process's load, the merge would
// give the working copy itself, which is then written as it is.
//
// readConfigUpdate compares the image's two slot headers with those seen at
// the last load or save; only when they differ is the image read and parsed
// again.  Every save changes a header (new generation, new CRC).  A refresh
// keeps this process's unsaved changes: they are applied to what was read,
// as its save would apply them, so that what a program was told it set
// stays set until it saves or reverts.
//
// Values the console only shows (the DHCP lease, loaded into the working
// copy between cfgBeginDisplay and cfgEndDisplay) are not changes: the
// store keeps what they replaced and puts it back before a save, so that
// no lease address is ever saved as if typed.
//
// An image that cannot be read at all (an I/O error, as opposed to a blank
// or corrupt EEPROM) gives the factory defaults to work with, but no save is
// made from them until a load succeeds: it would replace settings that are
// still there, only unreadable for the moment.
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
  bool recorded;  // named in the change record already
  bool shown;     // holds a value set for display only (see cfgBeginDisplay)
};

// Smallest line: "k=\n".
constexpr int kMaxEntries = kCfgTextMax / 3 + 1;
// Live strings take at most kCfgTextMax bytes ('=' and the line end become
// the terminators, escapes shrink).  While a value is replaced the old one
// is still live, so a pack must leave room for both: the rest is room for
// replaced values.
constexpr int kPoolSize = 3 * kEepromSize;
static_assert(kPoolSize <= 65535, "pool offsets are 16 bits");

// Hash index: open addressing with linear probing; a slot holds an entry's
// index plus one, 0 is free.  A third of the slots stays free even in a
// store of nothing but the shortest keys, so probes stay short.  Only the
// first indexMask + 1 slots are in use, doubled as the entries grow: a
// store of up to 1365 keys (all user accounts included) uses one page of
// slots and is never re-indexed while it loads; only a store of the
// shortest keys grows into the rest.
constexpr int kIndexSlots = 4096;
constexpr int kIndexSlotsAtFirst = 2048;
static_assert((kIndexSlots & (kIndexSlots - 1)) == 0, "a power of two");
static_assert((kIndexSlotsAtFirst & (kIndexSlotsAtFirst - 1)) == 0, "a power of two");
static_assert(kIndexSlots >= kMaxEntries * 3 / 2, "index too small");
static_assert(kMaxEntries < 65535, "index slots are 16 bits");

// The store's small state, all in one place: declared between the large
// buffers, each variable would take a page of memory of its own.
uint32_t indexMask = kIndexSlotsAtFirst - 1;
int entryCount;
int poolUsed;
int textSize;  // characters of the working copy as saved text
// What the image looked like when this process last loaded or saved.
EepromHeaders seenHeaders;
bool loaded;
long loadCount;
// The last load could not read the image: saves are refused.
bool unreadable;
// The change record's counts (the record itself is below).
int recordCount;
int recordPoolUsed;
bool recordCleared;
bool recordOverflow;
// Non-zero while the store fills the working copy itself (loading,
// merging, undoing a group): those are no changes of this process.
int recordPause;
// The open all-or-nothing groups and what the outermost one saw at its
// start (its text is below).
int groupDepth;
bool groupFailed;
int groupRecordCount;
int groupRecordPoolUsed;
bool groupCleared;
bool groupOverflow;
// Display-only values: how many keys hold one, and whether any was set since
// the last load or save (then a save always merges, see mergeForSave).
int displayDepth;
int stashCount;
int stashPoolUsed;
bool displayedSinceLoad;
// The last refresh could not take in what others saved (logged once); the
// image's headers then, so that the next refresh tries again only once
// something new was saved.
bool refreshFailed;
EepromHeaders failedHeaders;

// Page-aligned, as are the other large buffers a load or a get uses, so
// that their used beginnings take no more pages of memory than they fill.
constexpr int kPage = 4096;
alignas(kPage) Entry entries[kMaxEntries];
alignas(kPage) uint16_t indexSlots[kIndexSlots];
alignas(kPage) char pool[kPoolSize];

// Scratch for the saved text and for packing the pool.
alignas(kPage) char textBuf[kEepromSize];
char packBuf[kPoolSize];

// The change record: names of the keys this process set or deleted since
// its last load or save, each once (an entry's flag says it is named), in
// the order of their first change.  After a clear only the clear matters:
// the whole working copy is then this process's.  Room for every key of a
// full store plus as many deleted ones; past that the record gives up and
// the next save writes the whole working copy.
constexpr int kRecordMax = 2 * kMaxEntries;
constexpr int kRecordPoolSize = 2 * kEepromSize;
static_assert(kRecordPoolSize <= 65535, "record offsets are 16 bits");
uint16_t recordKeys[kRecordMax];
char recordPool[kRecordPoolSize];

// The change record as text for a merge (see cfgMergeText): a cleared copy
// takes a line per key of the working copy, otherwise a line per key named
// in the record.
char changeText[kRecordPoolSize + kEepromSize + kRecordMax];

// All-or-nothing groups: the working copy and the record as they were when
// the outermost group began.
char groupText[kEepromSize];

// What display-only sets replaced: per key, the value it had before its
// first such set (or that it had none), so that the operator's working copy
// can be put back before anything is saved.  Only a handful of keys are
// ever shown this way (the lease's addresses); past the room here a key's
// display value is kept as an ordinary unsaved value.
constexpr int kStashMax = 16;
constexpr int kStashPoolSize = 1024;
struct Stashed {
  uint16_t key;    // offset in stashPool
  uint16_t value;  // offset in stashPool
  bool present;    // false: the key was not set
};
Stashed stash[kStashMax];
char stashPool[kStashPoolSize];

// The working copy as it was before a refresh took in other programs'
// saves, for when this process's changes do not fit beside them.
char keepText[kEepromSize];

// Characters a key cannot hold: '=' and the control characters.
struct BadKeyChars {
  bool bad[256];
};
constexpr BadKeyChars makeBadKeyChars() {
  BadKeyChars t{};
  for (int c = 0; c < 256; c++) t.bad[c] = c < 0x20 || c == '=' || c == 0x7F;
  return t;
}
constexpr BadKeyChars kBadKeyChars = makeBadKeyChars();

bool badKeyChar(char c) { return kBadKeyChars.bad[static_cast<unsigned char>(c)]; }

bool validKey(const char *key) {
  if (!key || !*key) return false;
  for (const char *p = key; *p; p++) {
    if (badKeyChar(*p)) return false;
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

// FNV-1a: 32-bit arithmetic only, which the appliance's processor does
// without helper routines.
uint32_t hashStep(uint32_t h, unsigned char c) {
  return (h ^ c) * 16777619u;
}
constexpr uint32_t kHashStart = 2166136261u;

uint32_t hashOf(const char *s, int n) {
  uint32_t h = kHashStart;
  for (int i = 0; i < n; i++) h = hashStep(h, static_cast<unsigned char>(s[i]));
  return h;
}

int findEntryN(const char *key, int len, uint32_t hash) {
  for (uint32_t i = hash & indexMask;; i = (i + 1) & indexMask) {
    int slot = indexSlots[i];
    if (!slot) return -1;
    const Entry &e = entries[slot - 1];
    if (e.keyLen == len && memcmp(pool + e.key, key, len) == 0) return slot - 1;
  }
}

int findEntry(const char *key) {
  uint32_t h = kHashStart;
  int len = 0;
  for (; key[len]; len++) h = hashStep(h, static_cast<unsigned char>(key[len]));
  return findEntryN(key, len, h);
}

void indexPut(int index, uint32_t hash) {
  uint32_t i = hash & indexMask;
  while (indexSlots[i]) i = (i + 1) & indexMask;
  indexSlots[i] = static_cast<uint16_t>(index + 1);
}

// Empties the slots in use and indexes entries 0 to count - 1 afresh.
void indexRebuild(int count) {
  memset(indexSlots, 0, (indexMask + 1) * sizeof indexSlots[0]);
  for (int i = 0; i < count; i++)
    indexPut(i, hashOf(pool + entries[i].key, entries[i].keyLen));
}

// Entries 0 to index - 1 are indexed already.  Doubling re-indexes them,
// which keeps a load linear overall.
void indexAdd(int index, uint32_t hash) {
  if ((index + 1) * 3 / 2 > static_cast<int>(indexMask) + 1 &&
      indexMask + 1 < static_cast<uint32_t>(kIndexSlots)) {
    indexMask = indexMask * 2 + 1;
    indexRebuild(index);
  }
  indexPut(index, hash);
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

// Sets a key (keyLen characters) in the working copy; newSize is the
// characters its line takes as saved text.  Its entry's index, or -1 when
// it does not fit.
int putValue(const char *key, int keyLen, uint32_t hash, const char *value,
             int valueLen, int newSize) {
  // Packing the pool moves what lives in it: a key or value taken from the
  // working copy itself is copied out first.
  static char keyCopy[kEepromSize];
  static char valueCopy[kEepromSize];
  if (keyLen > kCfgTextMax || valueLen > kCfgTextMax) return -1;
  if (inPool(key)) key = static_cast<const char *>(memcpy(keyCopy, key, keyLen + 1));
  if (inPool(value)) {
    memcpy(valueCopy, value, valueLen);
    valueCopy[valueLen] = 0;
    value = valueCopy;
  }

  int index = findEntryN(key, keyLen, hash);
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
                      static_cast<uint16_t>(keyLen), 0, false, false};
    indexAdd(index, hash);
  }
  entries[index].value = static_cast<uint16_t>(poolAdd(value, valueLen));
  entries[index].valueLen = static_cast<uint16_t>(valueLen);
  textSize += newSize - oldSize;
  return index;
}

int setValue(const char *key, const char *value, int valueLen) {
  int keyLen = static_cast<int>(strlen(key));
  return putValue(key, keyLen, hashOf(key, keyLen), value, valueLen,
                  lineSize(keyLen, value, valueLen));
}

void deleteEntry(int index) {
  const Entry &e = entries[index];
  textSize -= lineSize(e.keyLen, pool + e.value, e.valueLen);
  memmove(entries + index, entries + index + 1,
          (entryCount - index - 1) * sizeof(Entry));
  entryCount--;
  // Every later entry moved down by one: index them afresh.
  indexRebuild(entryCount);
}

// Decodes one escaped value of n characters into out (terminated); its
// length.  *escapes gets the number of characters that take an escape when
// saved again.
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

// ---- the change record ----------------------------------------------------

void recordReset() {
  recordCount = 0;
  recordPoolUsed = 0;
  recordCleared = false;
  recordOverflow = false;
  for (int i = 0; i < entryCount; i++) entries[i].recorded = false;
}

// The entries' flags after the working copy was rebuilt from text.
void recordReflag() {
  for (int i = 0; i < entryCount; i++) entries[i].recorded = false;
  for (int r = 0; r < recordCount; r++) {
    int index = findEntry(recordPool + recordKeys[r]);
    if (index >= 0) entries[index].recorded = true;
  }
}

// This process is about to change (or has just set) the entry at index.
void noteChange(int index) {
  Entry &e = entries[index];
  if (recordPause) return;
  // This process's own change replaces whatever was shown there.
  e.shown = false;
  if (recordCleared || e.recorded) return;
  e.recorded = true;
  if (recordOverflow) return;
  if (recordCount >= kRecordMax ||
      recordPoolUsed + e.keyLen + 1 > kRecordPoolSize) {
    recordOverflow = true;
    return;
  }
  recordKeys[recordCount++] = static_cast<uint16_t>(recordPoolUsed);
  memcpy(recordPool + recordPoolUsed, pool + e.key, e.keyLen + 1);
  recordPoolUsed += e.keyLen + 1;
}

// ---- values set for display only ------------------------------------------

void stashReset() {
  stashCount = 0;
  stashPoolUsed = 0;
  displayedSinceLoad = false;
}

// A display-only set is about to replace the entry at index (or to create
// the key, index -1): keeps what it replaces, once per key.
void stashBefore(const char *key, int index) {
  displayedSinceLoad = true;
  if (index >= 0 && entries[index].shown) return;
  int keyLen = static_cast<int>(strlen(key));
  int valueLen = index >= 0 ? entries[index].valueLen : 0;
  if (stashCount >= kStashMax ||
      stashPoolUsed + keyLen + valueLen + 2 > kStashPoolSize)
    return;
  Stashed &s = stash[stashCount++];
  s.key = static_cast<uint16_t>(stashPoolUsed);
  memcpy(stashPool + stashPoolUsed, key, keyLen + 1);
  stashPoolUsed += keyLen + 1;
  s.value = static_cast<uint16_t>(stashPoolUsed);
  memcpy(stashPool + stashPoolUsed, index >= 0 ? pool + entries[index].value : "",
         valueLen + 1);
  stashPoolUsed += valueLen + 1;
  s.present = index >= 0;
}

// The entries' shown flags after the working copy was rebuilt from text.
void stashReflag() {
  for (int i = 0; i < stashCount; i++) {
    int index = findEntry(stashPool + stash[i].key);
    if (index >= 0) entries[index].shown = true;
  }
}

// Puts back what display-only sets replaced, where no change of this
// process came since: the working copy is then the operator's own again.
void undisplay() {
  recordPause++;
  for (int i = 0; i < stashCount; i++) {
    const Stashed &s = stash[i];
    int index = findEntry(stashPool + s.key);
    if (index < 0 || !entries[index].shown) continue;
    if (!s.present) {
      deleteEntry(index);
      continue;
    }
    const char *value = stashPool + s.value;
    // It fitted before; the shown value it replaces is given up first.
    setValue(stashPool + s.key, value, static_cast<int>(strlen(value)));
    entries[findEntry(stashPool + s.key)].shown = false;
  }
  recordPause--;
  stashCount = 0;
  stashPoolUsed = 0;
}

// The record as change text (format at cfgMergeText); its length, or -1
// when it does not fit.
int formatChanges(char *out, int size) {
  int len = 0;
  out[0] = 0;
  if (recordCleared) {
    len = size > 2 ? 2 : -1;
    if (len > 0) memcpy(out, "c\n", 3);
    for (int i = 0; i < entryCount; i++)
      len = appendLine(out, len, size, 's', entries[i]);
    return len;
  }
  for (int r = 0; r < recordCount && len >= 0; r++) {
    const char *key = recordPool + recordKeys[r];
    int index = findEntry(key);
    if (index >= 0) {
      len = appendLine(out, len, size, 's', entries[index]);
      continue;
    }
    int n = static_cast<int>(strlen(key));
    if (len + n + 2 >= size) return -1;
    out[len++] = 'd';
    memcpy(out + len, key, n);
    len += n;
    out[len++] = '\n';
    out[len] = 0;
  }
  return len;
}

// Applies change text to the working copy; -1 when a set does not fit.
int applyChanges(const char *changes) {
  static char key[kEepromSize];
  static char value[2 * kEepromSize];
  for (const char *line = changes; *line;) {
    const char *end = strchr(line, '\n');
    int n = end ? static_cast<int>(end - line) : static_cast<int>(strlen(line));
    const char *body = line + 1;
    int bodyLen = n - 1;
    const char *eq = n > 0 ? static_cast<const char *>(memchr(body, '=', bodyLen)) : nullptr;
    int keyLen = line[0] == 's' ? (eq ? static_cast<int>(eq - body) : -1) : bodyLen;
    // Nothing longer than a full store can be part of one.
    if (keyLen > kCfgTextMax || bodyLen - keyLen > 2 * kCfgTextMax) keyLen = -1;
    key[0] = 0;
    if (n > 0 && keyLen >= 0) {
      memcpy(key, body, keyLen);
      key[keyLen] = 0;
    }
    if (n > 0 && line[0] == 'c') {
      cfgClear();
    } else if (n > 0 && line[0] == 'd' && validKey(key)) {
      int index = findEntry(key);
      if (index >= 0) deleteEntry(index);
    } else if (n > 0 && line[0] == 's' && eq && keyLen > 0 && validKey(key)) {
      int escapes;
      int valueLen = unescape(eq + 1, bodyLen - keyLen - 1, value, &escapes);
      if (putValue(key, keyLen, hashOf(key, keyLen), value, valueLen,
                   keyLen + valueLen + escapes + 2) < 0)
        return -1;
    }
    line += n;
    if (*line == '\n') line++;
  }
  return 0;
}

// ---- saving -----------------------------------------------------------------

// Results of the merge besides 0: this process's changes do not fit beside
// the newest saved settings, or the configuration about to be saved fails
// the network checks.
constexpr int kNoRoom = 1;
constexpr int kRefused = 2;

struct SaveJob {
  int workingLen;  // the working copy as saved text, in textBuf
  bool whole;      // save the working copy as it is
  bool merged;     // the working copy now holds the merge
  char *reason;    // non-null: what is saved must pass verifyNetworkConfig
};

int mergeForSave(void *context, const char *current, const EepromHeaders &found,
                 const char **data, int *length) {
  static char merged[kEepromSize];
  auto *job = static_cast<SaveJob *>(context);
  // Values shown since the last load may still stand in the working copy
  // where nothing could put back what they replaced: then only the merge
  // of what this process changed is safe to save.
  if (job->whole || (!displayedSinceLoad && eepromSameHeaders(found, seenHeaders))) {
    *data = textBuf;
    *length = job->workingLen + 1;
  } else {
    job->merged = true;
    int n = cfgMergeText(current, changeText, merged, sizeof merged);
    if (n < 0) return kNoRoom;
    *data = merged;
    *length = n + 1;
  }
  // The working copy now holds what is about to be saved, and the lock
  // keeps it the newest until it is: the check sees what the unit will run.
  if (job->reason && !verifyNetworkConfig(job->reason)) return kRefused;
  return 0;
}

// Back to the working copy as it was before a save that failed.
void restoreWorking() {
  recordPause++;
  cfgTextParse(textBuf);
  recordPause--;
  recordReflag();
}

}  // namespace

int cfgCount() { return entryCount; }
const char *cfgKeyAt(int index) { return pool + entries[index].key; }
const char *cfgValueAt(int index) { return pool + entries[index].value; }
int cfgTextSize() { return textSize; }
long cfgLoadCount() { return loadCount; }
bool cfgUnreadable() { return unreadable; }

void cfgClear() {
  entryCount = 0;
  poolUsed = 0;
  textSize = 0;
  memset(indexSlots, 0, (indexMask + 1) * sizeof indexSlots[0]);
  indexMask = kIndexSlotsAtFirst - 1;
}

void cfgReset() {
  cfgClear();
  recordReset();
  loaded = false;
  unreadable = false;
  groupDepth = 0;
  groupFailed = false;
  displayDepth = 0;
  stashReset();
}

void cfgRecordClear() {
  if (recordPause) return;
  recordReset();
  recordCleared = true;
  // What was shown before is gone with the rest.
  stashReset();
}

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

int cfgChangeText(char *out, int size) { return formatChanges(out, size); }

int cfgMergeText(const char *newest, const char *changes, char *out, int size) {
  recordPause++;
  // The newest settings as a load would take them, blank ones included.
  if (cfgTextParse(newest) == 0) factoryDefaults();
  int rc = applyChanges(changes);
  recordPause--;
  if (rc != 0) return -1;
  return cfgTextFormat(out, size);
}

int cfgLoad(const char *path) {
  loadCount++;
  loaded = true;
  uint64_t generation = 0;
  int rc = eepromReadImage(path, textBuf, &generation, &seenHeaders);
  // An image that is there but cannot be opened, locked or read is an I/O
  // error: what it holds is unknown, and may be perfectly good.
  int err = errno;
  bool ioError = rc == kEepromIoError;
  recordPause++;
  int keys = rc == kEepromOk ? cfgTextParse(textBuf) : 0;
  if (keys == 0) factoryDefaults();
  recordPause--;
  recordReset();
  stashReset();
  refreshFailed = false;
  bool wasUnreadable = unreadable;
  unreadable = ioError;
  if (keys > 0) return 0;
  if (ioError) {
    // Said once, not at every retry.
    if (!wasUnreadable) {
      logIt(kLogError, "Configuration store: the EEPROM could not be read "
                       "(%s); factory defaults loaded, nothing will be saved "
                       "until it can be read.", strerror(err));
    }
  } else if (rc == kEepromOk || rc == kEepromBlank) {
    logIt(kLogError, "Configuration store: no settings in the EEPROM, "
                     "factory defaults loaded.");
  } else {
    logIt(kLogError, "Configuration store: no valid copy in the EEPROM, "
                     "factory defaults loaded.");
  }
  return -1;
}

namespace {

// Takes in what others saved and puts this process's unsaved changes back
// on top, as a save would merge them.  When they no longer fit beside what
// was saved, or the image cannot be read, the working copy stays as it was
// and the next refresh tries again.
int refreshKeepingChanges(const char *path) {
  // A cleared copy, or one with more changes than the record holds, is
  // this process's whole: nothing of others can be taken in without
  // overriding it, and its save writes it whole anyway.
  if (recordCleared || recordOverflow) return 0;
  if (formatChanges(changeText, sizeof changeText) < 0) return 0;
  uint64_t generation = 0;
  EepromHeaders seen;
  int rc = eepromReadImage(path, textBuf, &generation, &seen);
  failedHeaders = seen;
  if (rc == kEepromIoError) {
    if (!refreshFailed) {
      logIt(kLogError, "Configuration store: the EEPROM could not be read "
                       "(%s); unsaved changes kept, others' saves not taken in.",
            strerror(errno));
    }
    refreshFailed = true;
    return -1;
  }
  if (rc != kEepromOk) textBuf[0] = 0;
  cfgTextFormat(keepText, sizeof keepText);
  if (cfgMergeText(textBuf, changeText, textBuf, sizeof textBuf) < 0) {
    recordPause++;
    cfgTextParse(keepText);
    recordPause--;
    recordReflag();
    stashReflag();
    if (!refreshFailed) {
      logIt(kLogError, "Configuration store: unsaved changes and those saved "
                       "meanwhile do not fit together; others' saves not "
                       "taken in.");
    }
    refreshFailed = true;
    return -1;
  }
  loadCount++;
  seenHeaders = seen;
  refreshFailed = false;
  // The shown values went with the old working copy.
  stashReset();
  recordReflag();
  return 0;
}

}  // namespace

int cfgUpdate(const char *path) {
  if (!loaded) return cfgLoad(path);
  bool changed = recordCount > 0 || recordCleared || recordOverflow;
  // After a failed read only a full load can tell that the image is back;
  // nothing of this process is lost by it then, as nothing can be saved.
  if (unreadable) return cfgLoad(path);
  EepromHeaders now;
  eepromReadHeaders(path, &now);
  if (eepromSameHeaders(now, seenHeaders)) return 0;
  if (!changed) return cfgLoad(path);
  if (refreshFailed && eepromSameHeaders(now, failedHeaders)) return -1;
  return refreshKeepingChanges(path);
}

namespace {

int saveWorking(const char *path, char *reason) {
  if (unreadable) {
    logIt(kLogError, "Configuration store: not saved: the EEPROM could not "
                     "be read, and its settings would be lost.");
    return -1;
  }
  // Values only shown are not this process's settings.
  undisplay();
  int n = cfgTextFormat(textBuf, sizeof textBuf);
  if (n < 0) return -1;
  // Without a load there is nothing to merge into; after a clear the merge
  // is the working copy itself.
  SaveJob job = {n, !loaded || recordCleared, false, reason};
  if (!job.whole &&
      (recordOverflow || formatChanges(changeText, sizeof changeText) < 0)) {
    job.whole = true;
    logIt(kLogError, "Configuration store: too many changes to merge; "
                     "saving the whole working copy.");
  }
  EepromHeaders after;
  int rc = eepromMergeImage(path, mergeForSave, &job, &after);
  int err = errno;
  if (rc == 0) {
    seenHeaders = after;
    loaded = true;
    refreshFailed = false;
    recordReset();
    stashReset();
    return 0;
  }
  if (job.merged || rc == kRefused) restoreWorking();
  if (rc == kRefused) return 1;
  if (rc == kNoRoom) {
    logIt(kLogError, "Configuration store: not saved: these changes and "
                     "those saved meanwhile do not fit together.");
  } else {
    logIt(kLogError, "Configuration store: saving to the EEPROM failed: %s",
          strerror(err));
  }
  return -1;
}

}  // namespace

int cfgSave(const char *path) { return saveWorking(path, nullptr); }

int cfgSaveVerified(const char *path, char *reason) {
  return saveWorking(path, reason);
}

int readConfig() { return cfgLoad(unit::kEepromImage); }
int readConfigUpdate() { return cfgUpdate(unit::kEepromImage); }
int updateCfgSave() { return cfgSave(unit::kEepromImage); }
int updateCfgSaveVerified(char *reason) {
  return cfgSaveVerified(unit::kEepromImage, reason);
}

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
  if (displayDepth) stashBefore(key, findEntry(key));
  int index = setValue(key, value, static_cast<int>(strlen(value)));
  if (index >= 0) {
    noteChange(index);
    if (displayDepth) entries[index].shown = true;
    return 0;
  }
  if (groupDepth) groupFailed = true;
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
  noteChange(index);
  deleteEntry(index);
  return 0;
}

int cfgIsDefined(const char *key) { return key && findEntry(key) >= 0; }

void cfgBeginGroup() {
  if (groupDepth++ > 0) return;
  groupFailed = false;
  // The working copy always fits the saved text's limit.
  cfgTextFormat(groupText, sizeof groupText);
  groupRecordCount = recordCount;
  groupRecordPoolUsed = recordPoolUsed;
  groupCleared = recordCleared;
  groupOverflow = recordOverflow;
}

int cfgEndGroup() {
  if (groupDepth == 0) return 0;
  bool failed = groupFailed;
  if (--groupDepth > 0) return failed ? -1 : 0;
  groupFailed = false;
  if (!failed) return 0;
  recordPause++;
  cfgTextParse(groupText);
  recordPause--;
  recordCount = groupRecordCount;
  recordPoolUsed = groupRecordPoolUsed;
  recordCleared = groupCleared;
  recordOverflow = groupOverflow;
  recordReflag();
  stashReflag();
  return -1;
}

int cfgEndGroupSaved() {
  if (groupDepth == 1 && !groupFailed && updateCfgSave() != 0)
    groupFailed = true;
  return cfgEndGroup();
}

void cfgBeginDisplay() {
  displayDepth++;
  recordPause++;
}

void cfgEndDisplay() {
  if (displayDepth == 0) return;
  displayDepth--;
  recordPause--;
}

int houseKeeping() { return 0; }
