// All-or-nothing groups of sets: cfgBeginGroup, cfgEndGroup and
// cfgEndGroupSaved.  A set that does not fit inside a group puts the
// working copy and the change record back as they were when the outermost
// group began.
//
// Owns: the copy taken at the group's start.  Touches: the working copy and
// the change record (put back), the shown flags, and a save at the end.
#include <cstdint>

#include "platform/config_store.h"
#include "platform/store/store_parts.h"

namespace store {
namespace {

// All-or-nothing groups: the working copy and the record as they were when
// the outermost group began.
char groupText[kEepromSize];

}  // namespace
}  // namespace store

using namespace store;

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
