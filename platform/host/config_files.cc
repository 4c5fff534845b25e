// The files the unit's other programs read, rendered from the working
// configuration.  Each is written whole to a temporary name and renamed
// into place, so a reader sees the old file or the new one.
//
// updateCfgFiles (0 from the batch options, 1 from the console's commit):
//   /etc/hostname          the machine name (`hostname`, "unit" if empty)
//   /etc/network.conf      NAME=value lines for the network start-up
//                          script: both ports, bridge, default gateway,
//                          DNS; text values single-quoted for /bin/sh
//   /etc/resolv.conf       nameserver and search domain, when set
//   /etc/unit/services.conf  the service ports of both sides and which
//                          services are switched on
//   /etc/unit/accounts     as updateCfgPasswd (below), so that a unit
//                          started with -x has its accounts too
//   With 1 it also writes /var/run/network.reload ("console\n"): the
//   running unit takes that as the request to apply the new settings now.
//   The batch options run before the network comes up (or are followed by
//   its restart), so they leave it alone.
// updateCfgPasswd:
//   /etc/unit/accounts     (mode 0600) one "name:class:password" line per
//                          account, the administrator first ("admin",
//                          class "admin"), then every slot with a name
//                          (class as stored, 0-based).  Passwords are kept
//                          as SHA-256 crypt hashes, "$5$rounds=R$SALT$HASH"
//                          as crypt(3) reads them; an empty password stays
//                          empty, a slot's "NONE" is "!" (locked).  Names
//                          with ':' or a control character are left out
//                          and logged.
// cfgWriteFile:
//   /var/run/config.txt    (mode 0600) the working copy in the saved text
//                          format, secrets included.
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/config_store.h"
#include "platform/device_services.h"
#include "platform/host/config_store_internal.h"
#include "platform/host/sha256.h"
#include "platform/host/sha_crypt.h"

namespace {

// Every account has a name key, and the shortest ("user_0_name=" and its
// line end) takes 13 characters of the saved text.
constexpr int kMaxAccounts = kCfgTextMax / 13 + 1;

// The file being written: its names, its descriptor and a small buffer in
// front of it.  The first failure is kept and reported by commit().
struct Output {
  const char *name;  // as on the unit, for the log
  char target[512];
  char temp[520];
  mode_t mode;
  int fd;
  int err;
  char buf[4096];
  int len;
};
Output out;

void flush() {
  int done = 0;
  while (out.err == 0 && done < out.len) {
    ssize_t w = write(out.fd, out.buf + done, out.len - done);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) out.err = w < 0 ? errno : EIO;
    if (w > 0) done += static_cast<int>(w);
  }
  out.len = 0;
}

// Starts root + path under a temporary name of its own in the same
// directory: two programs rendering at once never share one, and a link
// planted under the name is never followed (the name is created afresh,
// O_EXCL).
void begin(const char *root, const char *path, mode_t mode) {
  out.name = path;
  out.mode = mode;
  out.len = 0;
  out.err = 0;
  snprintf(out.target, sizeof out.target, "%s%s", root, path);
  snprintf(out.temp, sizeof out.temp, "%s.XXXXXX", out.target);
  out.fd = mkostemp(out.temp, O_CLOEXEC);
  if (out.fd < 0) out.err = errno;
}

void emitRaw(const char *text, int n) {
  if (out.len + n > static_cast<int>(sizeof out.buf)) flush();
  if (n > static_cast<int>(sizeof out.buf)) {
    // Too big for the buffer: straight through.
    for (int done = 0; out.err == 0 && done < n;) {
      ssize_t w = write(out.fd, text + done, n - done);
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) out.err = w < 0 ? errno : EIO;
      if (w > 0) done += static_cast<int>(w);
    }
    return;
  }
  memcpy(out.buf + out.len, text, n);
  out.len += n;
}

void emit(const char *format, ...) __attribute__((format(printf, 1, 2)));
void emit(const char *format, ...) {
  char line[600];
  va_list ap;
  va_start(ap, format);
  int n = vsnprintf(line, sizeof line, format, ap);
  va_end(ap);
  // Every caller's piece is short; a longer one would be cut.
  if (n < 0 || n >= static_cast<int>(sizeof line)) {
    out.err = EOVERFLOW;
    return;
  }
  emitRaw(line, n);
}

// Puts the file in place: a reader sees the old one or the new one.
int commit() {
  if (out.fd < 0) {
    logIt(kLogError, "Configuration: cannot write %s: %s", out.name,
          strerror(out.err));
    return -1;
  }
  flush();
  int err = out.err;
  if (fchmod(out.fd, out.mode) != 0 && err == 0) err = errno;
  // On the disk before the name points at it: after a power cut the file
  // is the old one or the new one, never an empty one.
  if (fsync(out.fd) != 0 && err == 0) err = errno;
  if (close(out.fd) != 0 && err == 0) err = errno;
  if (err == 0 && rename(out.temp, out.target) != 0) err = errno;
  if (err != 0) {
    unlink(out.temp);
    logIt(kLogError, "Configuration: cannot write %s: %s", out.name,
          strerror(err));
    return -1;
  }
  return 0;
}

const char *dotted(const char *key) {
  static char text[16];
  uint32_t a = static_cast<uint32_t>(cfgGetN(key));
  snprintf(text, sizeof text, "%u.%u.%u.%u", a >> 24, (a >> 16) & 0xFF,
           (a >> 8) & 0xFF, a & 0xFF);
  return text;
}

// NAME='text' for /bin/sh; control characters would break the line and
// are left out.
void emitQuoted(const char *name, const char *text) {
  emit("%s='", name);
  for (const char *p = text; *p; p++) {
    if (*p == '\'') {
      emit("'\\''");
    } else if (static_cast<unsigned char>(*p) >= 0x20 && *p != 0x7F) {
      emit("%c", *p);
    }
  }
  emit("'\n");
}

void emitPort(const char *prefix, const char *ip, const char *netmask,
              const char *gateway, const char *bcast) {
  emit("%s_IP=%s\n", prefix, dotted(ip));
  emit("%s_NETMASK=%s\n", prefix, dotted(netmask));
  emit("%s_GATEWAY=%s\n", prefix, dotted(gateway));
  emit("%s_BROADCAST=%s\n", prefix, dotted(bcast));
}

// The host name as the system takes it: printable, one line, never empty.
void emitHostname() {
  bool any = false;
  for (const char *p = cfgGet("hostname"); *p; p++) {
    if (static_cast<unsigned char>(*p) > 0x20 && *p != 0x7F) {
      emit("%c", *p);
      any = true;
    }
  }
  if (!any) emit("unit");
  emit("\n");
}

int renderNetwork(const char *root) {
  begin(root, "/etc/network.conf", 0644);
  emit("# Network settings of the unit, written from its configuration.\n");
  emitQuoted("HOSTNAME", cfgGet("hostname"));
  emit("LAN_DHCP=%d\n", cfgGetN("dhcpEnable") != 0);
  emitPort("LAN", "ip", "netmask", "gateway1", "bcast");
  emit("WAN_PRESENT=%d\n", hasEthernetOption != 0);
  emitPort("WAN", "ip2", "netmask2", "gateway2", "bcast2");
  emit("BRIDGE=%d\n", cfgGetN("bridgeEnable") != 0);
  emit("DEFAULT_GATEWAY=%s\n", dotted("gateway"));
  emit("DNS=%s\n", dotted("dns"));
  emitQuoted("DNS_DOMAIN", cfgGet("dnsDomain"));
  return commit();
}

int renderResolver(const char *root) {
  begin(root, "/etc/resolv.conf", 0644);
  if (cfgGetN("dns") != 0) emit("nameserver %s\n", dotted("dns"));
  const char *domain = cfgGet("dnsDomain");
  if (*domain && !strpbrk(domain, " \t\r\n")) {
    emit("search ");
    emitRaw(domain, static_cast<int>(strlen(domain)));
    emit("\n");
  }
  return commit();
}

int renderServices(const char *root) {
  static constexpr const char *kPortKeys[] = {
      "sshdPort",  "httpPort",  "httpsPort",  "snmpPort",  "vncPort",
      "vncsPort",  "sshd2Port", "http2Port",  "https2Port", "snmp2Port",
      "vnc2Port",  "vncs2Port"};
  static constexpr const char *kSwitchKeys[] = {
      "snmpEnabled", "radiusEnable", "firewallEnable", "ipmiEnable",
      "pppEnable",   "dyndnsEnable"};
  begin(root, "/etc/unit/services.conf", 0644);
  emit("# Service ports (0: off on that side) and services switched on.\n");
  for (const char *key : kPortKeys) emit("%s=%d\n", key, cfgGetN(key));
  for (const char *key : kSwitchKeys) emit("%s=%d\n", key, cfgGetN(key) != 0);
  return commit();
}

// Hashes this process made, by account: a password unchanged since the
// last rendering keeps its hash, so that saving one account does not cost
// the rounds of every other one (the SNMP agent renders on every set).
// Entries are told apart by a keyed digest of account and password; the
// key lives only in this process.
struct KnownHash {
  unsigned char fingerprint[kSha256Size];
  char hash[kShaCryptMax];
};
// Room for every account the store can hold with a password: the name and
// password keys of one take at least 26 characters of the saved text, and
// the administrator comes on top.  A cyclic walk over more accounts than
// entries would find none of them again.
constexpr int kKnownHashes = kCfgTextMax / 26 + 2;
KnownHash known[kKnownHashes];
int knownCount;
int knownNext;
unsigned char fingerprintKey[16];

void fingerprint(int account, const char *password,
                 unsigned char (&out)[kSha256Size]) {
  if (knownCount == 0) randomBytes(fingerprintKey, sizeof fingerprintKey);
  Sha256 ctx;
  sha256Init(&ctx);
  sha256Update(&ctx, fingerprintKey, sizeof fingerprintKey);
  sha256Update(&ctx, &account, sizeof account);
  sha256Update(&ctx, password, strlen(password));
  sha256Final(&ctx, out);
}

// The account's password as a SHA-256 crypt hash; account is the slot, -1
// for the administrator.  An empty password stays empty.
void emitHash(int account, const char *password) {
  if (!*password) return;
  unsigned char print[kSha256Size];
  fingerprint(account, password, print);
  for (int i = 0; i < knownCount; i++) {
    if (memcmp(known[i].fingerprint, print, sizeof print) == 0) {
      emit("%s", known[i].hash);
      return;
    }
  }
  KnownHash &k = known[knownNext];
  knownNext = (knownNext + 1) % kKnownHashes;
  if (knownCount < kKnownHashes) knownCount++;
  memcpy(k.fingerprint, print, sizeof print);
  shaCryptNew(password, k.hash);
  emit("%s", k.hash);
}

bool usableName(const char *name) {
  if (!*name) return false;
  for (const char *p = name; *p; p++) {
    if (*p == ':' || static_cast<unsigned char>(*p) < 0x20 || *p == 0x7F)
      return false;
  }
  return true;
}

// The slot of an account's name key ("user_%d_name", the number written as
// %d writes it), or -1 for any other key.
int nameKeySlot(const char *key) {
  if (strncmp(key, "user_", 5) != 0 || !isdigit(static_cast<unsigned char>(key[5])))
    return -1;
  char *end;
  errno = 0;
  long u = strtol(key + 5, &end, 10);
  if (errno != 0 || u > INT_MAX || strcmp(end, "_name") != 0) return -1;
  char canonical[32];
  snprintf(canonical, sizeof canonical, "user_%ld_name", u);
  return strcmp(canonical, key) == 0 ? static_cast<int>(u) : -1;
}

int compareSlots(const void *a, const void *b) {
  int x = *static_cast<const int *>(a), y = *static_cast<const int *>(b);
  return (x > y) - (x < y);
}

// The slots below limit that hold an account, in ascending order, found
// from the keys that exist: numusers is writable from outside and may be
// far larger than the store could ever hold accounts for.
int accountSlots(int limit, int (&slots)[kMaxAccounts]) {
  int count = 0;
  for (int i = 0; i < cfgCount() && count < kMaxAccounts; i++) {
    int u = nameKeySlot(cfgKeyAt(i));
    if (u >= 0 && u < limit) slots[count++] = u;
  }
  qsort(slots, count, sizeof slots[0], compareSlots);
  return count;
}

}  // namespace

int cfgRenderFiles(const char *root, int fromConsole) {
  int rc = 0;
  begin(root, "/etc/hostname", 0644);
  emitHostname();
  if (commit() != 0) rc = -1;
  if (renderNetwork(root) != 0) rc = -1;
  if (renderResolver(root) != 0) rc = -1;
  if (renderServices(root) != 0) rc = -1;
  if (cfgRenderAccounts(root) != 0) rc = -1;
  if (fromConsole) {
    begin(root, "/var/run/network.reload", 0644);
    emit("console\n");
    if (commit() != 0) rc = -1;
  }
  return rc;
}

int cfgRenderAccounts(const char *root) {
  begin(root, "/etc/unit/accounts", 0600);
  emit("admin:admin:");
  emitHash(-1, cfgGet("passwd"));
  emit("\n");
  static int slots[kMaxAccounts];
  int count = accountSlots(cfgGetN("numusers"), slots);
  for (int i = 0; i < count; i++) {
    int u = slots[i];
    char key[32];
    snprintf(key, sizeof key, "user_%d_name", u);
    const char *name = cfgGet(key);
    if (!usableName(name)) {
      logIt(kLogError, "Configuration: account %d has an unusable name; "
                       "left out.", u);
      continue;
    }
    emitRaw(name, static_cast<int>(strlen(name)));
    emit(":");
    snprintf(key, sizeof key, "user_%d_class", u);
    emit("%d:", cfgGetN(key));
    snprintf(key, sizeof key, "user_%d_pass", u);
    const char *password = cfgGet(key);
    if (strcmp(password, "NONE") == 0) {
      emit("!");
    } else {
      emitHash(u, password);
    }
    emit("\n");
  }
  return commit();
}

int cfgDumpFile(const char *root) {
  static char text[kEepromSize];
  int n = cfgTextFormat(text, sizeof text);
  if (n < 0) return -1;
  begin(root, "/var/run/config.txt", 0600);
  emitRaw(text, n);
  return commit();
}

namespace {

// Renderers take turns: each holds the lock while it takes in the newest
// saved configuration and writes its files, so the last one to finish
// wrote the newest settings, and a file is never rendered from settings
// older than those already in another file it wrote.
constexpr char kRenderLock[] = "/var/lock/config-files.lock";

// The files the renderers write, by directory.  What a renderer killed
// while writing left behind is its temporary, "<name>.XXXXXX".
struct RenderedDir {
  const char *dir;
  const char *names[4];
};
constexpr RenderedDir kRenderedDirs[] = {
    {"/etc", {"hostname", "network.conf", "resolv.conf", nullptr}},
    {"/etc/unit", {"services.conf", "accounts", nullptr, nullptr}},
    {"/var/run", {"network.reload", nullptr, nullptr, nullptr}},
};

bool isTemporaryOf(const char *entry, const char *name) {
  size_t n = strlen(name);
  if (strncmp(entry, name, n) != 0 || entry[n] != '.' || strlen(entry + n + 1) != 6)
    return false;
  for (const char *p = entry + n + 1; *p; p++) {
    if (!isalnum(static_cast<unsigned char>(*p))) return false;
  }
  return true;
}

// Under the lock no other renderer is writing: every temporary found is a
// dead one's.
void removeDeadTemporaries() {
  for (const RenderedDir &d : kRenderedDirs) {
    DIR *dir = opendir(d.dir);
    if (!dir) continue;
    while (const dirent *e = readdir(dir)) {
      for (const char *name : d.names) {
        if (!name || !isTemporaryOf(e->d_name, name)) continue;
        unlinkat(dirfd(dir), e->d_name, 0);
        break;
      }
    }
    closedir(dir);
  }
}

int renderLocked(int (*render)(const char *root, int fromConsole),
                 int fromConsole) {
  int lock = open(kRenderLock, O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (lock < 0) {
    logIt(kLogError, "Configuration: cannot open %s: %s", kRenderLock,
          strerror(errno));
  } else {
    int locked;
    while ((locked = flock(lock, LOCK_EX)) != 0 && errno == EINTR) {
    }
    if (locked == 0) removeDeadTemporaries();
  }
  // Unsaved changes of this process stay in its working copy; they are
  // rendered with the rest, as they always were.
  readConfigUpdate();
  int rc;
  if (cfgUnreadable()) {
    // The factory settings the store fell back to are not the unit's: the
    // files keep the settings they were last rendered from.
    logIt(kLogError, "Configuration: the stored settings could not be read; "
                     "the unit's files are left as they are.");
    rc = kCfgNotRead;
  } else {
    rc = render("", fromConsole);
  }
  if (lock >= 0) close(lock);
  return rc;
}

int renderAccountsOnly(const char *root, int) { return cfgRenderAccounts(root); }

}  // namespace

int updateCfgFiles(int fromConsole) {
  return renderLocked(cfgRenderFiles, fromConsole);
}
int updateCfgPasswd() { return renderLocked(renderAccountsOnly, 0); }
int cfgWriteFile(int) { return cfgDumpFile(""); }
