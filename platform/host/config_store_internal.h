// Inner workings of the configuration store, shared by its sources
// (config_store.cc: working copy and saved text; config_defaults.cc: the
// key tables; config_network.cc: network checks; config_files.cc: the files
// rendered from the configuration) and by tools/unitcfg.
#pragma once

#include "platform/device_services.h"

// The saved text holds at most this many characters (plus its terminator).
constexpr int kCfgTextMax = kEepromSize - 1;

// Working copy, in the order the keys were first set.
int cfgCount();
const char *cfgKeyAt(int index);
const char *cfgValueAt(int index);
// Characters the working copy takes as saved text.
int cfgTextSize();
// Empties the working copy.
void cfgClear();
// Empties the working copy and forgets the last load and every recorded
// change: the next save writes the working copy whole.
void cfgReset();
// Notes in the change record that the working copy was cleared (the
// settings that follow replace all saved ones).
void cfgRecordClear();

// The working copy as saved text into out (size bytes); its length, or -1
// when it does not fit.
int cfgTextFormat(char *out, int size);
// Replaces the working copy by the keys of a saved text; the number of keys
// taken.  Lines without '=' or with an invalid key are skipped.
int cfgTextParse(const char *text);

// The merge of a save.  Change text holds one line per change, in order:
//   skey=value   set (value escaped as in saved text)
//   dkey         delete
//   c            clear
// The working copy becomes the newest saved text as a load takes it (no key
// at all: the factory defaults) with the changes applied; its saved text
// goes to out (size bytes).  The length, or -1 when the result does not fit
// the store.  newest holds at most kCfgTextMax characters.  No file is
// touched and the change record is left alone.
int cfgMergeText(const char *newest, const char *changes, char *out, int size);
// This process's changes since its last load or save as change text; its
// length, or -1 when it does not fit in size.
int cfgChangeText(char *out, int size);

// readConfig, readConfigUpdate and updateCfgSave on the image at path.
int cfgLoad(const char *path);
int cfgUpdate(const char *path);
int cfgSave(const char *path);
// updateCfgSaveVerified on the image at path.
int cfgSaveVerified(const char *path, char *reason);
// Number of times the working copy was (re)loaded from an image: lets the
// cheapness of cfgUpdate be observed.
long cfgLoadCount();
// True when the last load could not read the image (the working copy then
// holds factory defaults that are not the unit's settings).
bool cfgUnreadable();

// Factory defaults, in table order.
struct CfgDefault {
  const char *key;
  const char *value;
};
int cfgDefaultCount();
const CfgDefault &cfgDefaultAt(int index);
// The factory default of a key, or null when it has none.
const char *cfgDefaultOf(const char *key);
// Sets a key back to its factory default (a key without one is deleted).
void cfgRestoreDefault(const char *key);

// updateCfgFiles, updateCfgPasswd and cfgWriteFile with the unit's file
// tree at root ("" on the unit itself).
int cfgRenderFiles(const char *root, int fromConsole);
int cfgRenderAccounts(const char *root);
int cfgDumpFile(const char *root);
