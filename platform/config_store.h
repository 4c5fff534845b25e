// Configuration store: the unit's key/value settings, shared by every
// process of the unit through one saved copy in the EEPROM.
//
// Each process works on its own working copy: readConfig() loads it,
// cfgGet*/cfgSet* read and edit it by key, updateCfgSave() saves what this
// process changed in it, updateCfgFiles() makes the unit's services follow
// it.  Call oemSetup() and readConfig() before anything else here.
#pragma once

#include <cstdint>

// working := saved; unsaved edits are dropped.  Result ignored by callers.
int readConfig();
// Takes in what other processes saved since this process last loaded or
// saved; this process's unsaved changes stay on top.  Cheap when nothing
// was saved since: no re-read, no re-parse.
int readConfigUpdate();

// Text of a key; never null, an unset key reads "".  The pointer stays
// valid until the working copy is next changed, reloaded or saved.
const char *cfgGet(const char *key);
// A key read as a 32-bit number (strtoul, base 0); unset reads 0.
// Addresses come back as their 32-bit value in an int: cast to uint32_t.
int cfgGetN(const char *key);
// Set or create a key.  cfgSetN stores an address key unsigned, any other
// key as a signed decimal.  Result: 0 stored, -1 when the working copy is
// full (the 8191-character EEPROM text would overflow).
int cfgSet(const char *key, const char *value);
int cfgSetN(const char *key, int value);
int cfgDelete(const char *key);

// All-or-nothing edits of several keys: when a set between the two calls
// does not fit, cfgEndGroup() puts the working copy back as it was at
// cfgBeginGroup() and returns -1; otherwise 0.  Groups may nest; only the
// outermost one puts back.
void cfgBeginGroup();
int cfgEndGroup();
// Ends the outermost group with a save: when every set fitted it saves
// (updateCfgSave); when a set did not fit or the save failed, the working
// copy is put back as at cfgBeginGroup.  0 only when the changes are saved.
int cfgEndGroupSaved();

// Sets between these two put values into the working copy for display only
// (the console's status screen shows the DHCP lease this way): they are not
// this process's changes, and what they replaced is put back before any
// save, so they are never saved.
void cfgBeginDisplay();
void cfgEndDisplay();

int cfgIsDefined(const char *key);
// Non-zero for keys whose value is never shown (passwords, secrets, ...).
int cfgIsSensitive(const char *key);
// Non-zero for keys that hold an IPv4 address.
int cfgIsIPAddress(const char *key);

// saved := working, as far as this process changed it: the keys it set or
// deleted since its last load or save go over the newest saved settings,
// whichever process saved those.  0 when the save landed whole.
int updateCfgSave();
// updateCfgSave for a commit: the configuration about to be written (the
// merge, under the save's lock) must pass verifyNetworkConfig.  0 saved,
// -1 not saved (failure), 1 not saved because the checks refused it, with
// their reason in `reason` (kVerifyReasonSize bytes).
int updateCfgSaveVerified(char *reason);
// Renders the configuration into the unit's files so that its services
// follow it: the newest saved settings (with this process's unsaved
// changes on top), one renderer at a time.  1 from the console's commit, 0
// from batch options.  0 rendered, -1 a file could not be written,
// kCfgNotRead when the stored settings could not be read (nothing written).
constexpr int kCfgNotRead = -2;
int updateCfgFiles(int fromConsole);
// Rebuilds the unit's login accounts from the user keys, as updateCfgFiles.
int updateCfgPasswd();
// Writes the working configuration to the unit's configuration dump file.
int cfgWriteFile(int flags);
// working := factory defaults (not saved).
int factoryDefaults();
// Recomputes bcast (port 0, LAN) or bcast2 (port 1, WAN) from the address
// and netmask.
int recalcBCast(int port);

// Size of the buffer verifyNetworkConfig() writes its reason into.  A reason
// holds at most kVerifyReasonMax characters so that the console can append
// "\nPlease correct...".
constexpr int kVerifyReasonSize = 160;
constexpr int kVerifyReasonMax = 141;
// Non-zero when the network settings are acceptable; on 0 the reason is in
// `reason` (kVerifyReasonSize bytes).
int verifyNetworkConfig(char *reason);

// Called once per console loop pass.
int houseKeeping();
