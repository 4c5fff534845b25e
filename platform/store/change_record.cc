// The change record and the merge of a save.
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
// Owns: the record (the names of the keys changed, whether the copy was
// cleared), the change text, cfgMergeText.  Touches: the working copy
// (applying changes, the entries' recorded flags).
#include <cstdint>
#include <cstring>

#include "platform/config_store.h"
#include "platform/store/store_parts.h"

namespace store {

// The change record: names of the keys this process set or deleted since
// its last load or save, each once (an entry's flag says it is named), in
// the order of their first change.  After a clear only the clear matters:
// the whole working copy is then this process's.  Room for every key of a
// full store plus as many deleted ones; past that the record gives up and
// the next save writes the whole working copy.
uint16_t recordKeys[kRecordMax];
char recordPool[kRecordPoolSize];

// The change record as text for a merge (see cfgMergeText): a cleared copy
// takes a line per key of the working copy, otherwise a line per key named
// in the record.
char changeText[kRecordPoolSize + kEepromSize + kRecordMax];

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

}  // namespace store

using namespace store;

void cfgRecordClear() {
  if (recordPause) return;
  recordReset();
  recordCleared = true;
  // What was shown before is gone with the rest.
  stashReset();
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
