// The EEPROM of the simulated unit: a backing image holding two copies of
// the EEPROM's 8192 bytes (see eeprom_image.h for why two).
//
// Image layout: slot 0 at offset 0, slot 1 at kEepromSlotSize.  Each slot is
// a 32-byte header followed by the data:
//   magic u32 | length u32 | generation u64 | crc u32 | 12 bytes zero
// (little-endian on every processor, so that builds for this machine and for
// the appliance can share one unit).  The CRC covers the header with its crc
// field zeroed, then data[0..length), so a slot whose header or data was
// written only in part never checks out.  Bytes of a slot past its length
// are left as they were.
#include "platform/host/eeprom_image.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>

#include "platform/device_services.h"
#include "platform/host/eeprom_fault.h"
#include "platform/host/unit_paths.h"

namespace {

constexpr uint32_t kSlotMagic = 0x31454555;  // "UEE1"

struct SlotHeader {
  uint32_t magic;
  uint32_t length;
  uint64_t generation;
  uint32_t crc;
  uint32_t reserved[3];
};
static_assert(sizeof(SlotHeader) == kEepromHeaderSize);

constexpr std::array<uint32_t, 256> makeCrcTable() {
  std::array<uint32_t, 256> table{};
  for (uint32_t i = 0; i < 256; i++) {
    uint32_t c = i;
    for (int k = 0; k < 8; k++) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    table[i] = c;
  }
  return table;
}
constexpr std::array<uint32_t, 256> kCrcTable = makeCrcTable();

// Both slots as read from the image.  One process-wide buffer: the unit's
// processes are single-threaded and 16 KiB is too much for their stacks.
unsigned char imageBuf[2 * kEepromSlotSize];

// A header between this processor's order and the image's (little-endian);
// the same swap goes either way.
SlotHeader imageOrder(SlotHeader h) {
#if __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
  h.magic = __builtin_bswap32(h.magic);
  h.length = __builtin_bswap32(h.length);
  h.generation = __builtin_bswap64(h.generation);
  h.crc = __builtin_bswap32(h.crc);
#endif
  return h;
}

uint32_t slotCrc(const SlotHeader &h, const unsigned char *data) {
  SlotHeader copy = imageOrder(h);
  copy.crc = 0;
  uint32_t crc = eepromCrc32(0, &copy, sizeof copy);
  return eepromCrc32(crc, data, h.length);
}

// Generations count up by one per save and wrap round after the largest:
// the newer of two is the one a forward step of less than half the range
// away (serial-number arithmetic), so a copy saved right after the largest
// generation, as 0, still counts as newer.
bool newerGeneration(uint64_t a, uint64_t b) {
  return static_cast<int64_t>(a - b) > 0;
}

// The slot holding the current copy, or -1 when neither checks out.
int currentSlot(const unsigned char *image, uint64_t *generation) {
  int best = -1;
  uint64_t bestGen = 0;
  for (int slot = 0; slot < 2; slot++) {
    const unsigned char *base = image + slot * kEepromSlotSize;
    SlotHeader h;
    memcpy(&h, base, sizeof h);
    h = imageOrder(h);
    if (h.magic != kSlotMagic || h.length > kEepromSize) continue;
    if (slotCrc(h, base + kEepromHeaderSize) != h.crc) continue;
    if (best < 0 || newerGeneration(h.generation, bestGen)) {
      best = slot;
      bestGen = h.generation;
    }
  }
  if (best >= 0) *generation = bestGen;
  return best;
}

// Reads up to n bytes at off; the rest of buf (past the end of the file) is
// zeroed.  -1 on a read error.
int readImage(int fd, unsigned char *buf, long n) {
  long got = 0;
  while (got < n) {
    ssize_t r = pread(fd, buf + got, n - got, got);
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) return -1;
    if (r == 0) break;
    got += r;
  }
  memset(buf + got, 0, n - got);
  return 0;
}

int lockImage(int fd, int operation) {
  while (flock(fd, operation) != 0) {
    if (errno != EINTR) return -1;
  }
  return 0;
}

// Writes buf[0..n) at off, no more than the budget allows.
int writeBudgeted(int fd, const void *buf, long n, long off,
                  EepromBudget *budget) {
  long allowed = n;
  if (budget && budget->left >= 0 && budget->left < n) allowed = budget->left;
  const char *p = static_cast<const char *>(buf);
  long done = 0;
  while (done < allowed) {
    ssize_t w = pwrite(fd, p + done, allowed - done, off + done);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return -1;
    done += w;
  }
  if (budget && budget->left >= 0) budget->left -= allowed;
  return allowed == n ? 0 : -1;
}

void copyHeaders(const unsigned char *image, EepromHeaders *out) {
  memcpy(out->raw, image, kEepromHeaderSize);
  memcpy(out->raw + kEepromHeaderSize, image + kEepromSlotSize,
         kEepromHeaderSize);
  out->present = true;
}

// A newly created image only survives a power cut once its directory entry
// is on disk too.
int syncParentDir(const char *path) {
  char dir[4096];
  const char *slash = strrchr(path, '/');
  if (!slash) return 0;
  size_t len = slash == path ? 1 : static_cast<size_t>(slash - path);
  if (len >= sizeof dir) return -1;
  memcpy(dir, path, len);
  dir[len] = 0;
  int fd = open(dir, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return -1;
  int rc = fsync(fd);
  close(fd);
  return rc;
}

int openForWrite(const char *path, bool *created) {
  *created = false;
  for (;;) {
    int fd = open(path, O_RDWR | O_CLOEXEC);
    if (fd >= 0 || errno != ENOENT) return fd;
    fd = open(path, O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd >= 0) {
      *created = true;
      return fd;
    }
    if (errno != EEXIST) return -1;
  }
}

int writeLocked(int fd, const char *data, int length, EepromBudget *budget,
                EepromHeaders *after) {
  if (readImage(fd, imageBuf, sizeof imageBuf) != 0) return -1;
  uint64_t generation = 0;
  int current = currentSlot(imageBuf, &generation);
  int target = current == 0 ? 1 : 0;

  SlotHeader h{};
  h.magic = kSlotMagic;
  h.length = static_cast<uint32_t>(length);
  h.generation = current < 0 ? 1 : generation + 1;
  h.crc = slotCrc(h, reinterpret_cast<const unsigned char *>(data));

  long base = static_cast<long>(target) * kEepromSlotSize;
  if (writeBudgeted(fd, data, length, base + kEepromHeaderSize, budget) != 0)
    return -1;
  if (fdatasync(fd) != 0) return -1;
  SlotHeader stored = imageOrder(h);
  if (writeBudgeted(fd, &stored, sizeof stored, base, budget) != 0) return -1;
  if (fdatasync(fd) != 0) return -1;

  if (after) {
    if (readImage(fd, imageBuf, sizeof imageBuf) != 0) return -1;
    copyHeaders(imageBuf, after);
  }
  return 0;
}

}  // namespace

uint32_t eepromCrc32(uint32_t crc, const void *data, long length) {
  const unsigned char *p = static_cast<const unsigned char *>(data);
  crc = ~crc;
  for (long i = 0; i < length; i++) crc = kCrcTable[(crc ^ p[i]) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

int eepromReadImage(const char *path, char *buf, uint64_t *generation,
                    EepromHeaders *seen) {
  buf[0] = 0;
  if (seen) memset(seen, 0, sizeof *seen);
  int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return -1;
  int rc = -1;
  if (lockImage(fd, LOCK_SH) == 0 &&
      readImage(fd, imageBuf, sizeof imageBuf) == 0) {
    // Even an image without a valid copy has headers worth remembering:
    // the next look at them then tells whether anything changed.
    if (seen) copyHeaders(imageBuf, seen);
    int slot = currentSlot(imageBuf, generation);
    if (slot >= 0) {
      const unsigned char *base = imageBuf + slot * kEepromSlotSize;
      SlotHeader h;
      memcpy(&h, base, sizeof h);
      h = imageOrder(h);
      // The EEPROM holds text: the last byte is always its terminator.
      uint32_t n = h.length < kEepromSize ? h.length : kEepromSize - 1;
      memcpy(buf, base + kEepromHeaderSize, n);
      buf[n] = 0;
      rc = 0;
    }
  }
  close(fd);
  return rc;
}

int eepromWriteImage(const char *path, const char *data, int length,
                     EepromBudget *budget, EepromHeaders *after) {
  if (length < 0 || length > kEepromSize || (length > 0 && !data)) return -1;
  // The EEPROM holds NUL-terminated text: a text that fills all of it with
  // no terminator could only be read back cut short.
  if (length == kEepromSize && !memchr(data, 0, length)) return -1;
  bool created = false;
  int fd = openForWrite(path, &created);
  if (fd < 0) return -1;
  int rc = -1;
  if (lockImage(fd, LOCK_EX) == 0)
    rc = writeLocked(fd, data, length, budget, after);
  if (rc == 0 && created && syncParentDir(path) != 0) rc = -1;
  // The lock goes with the descriptor.
  if (close(fd) != 0) rc = -1;
  return rc;
}

void eepromReadHeaders(const char *path, EepromHeaders *out) {
  // The image stays open between looks, so that a look costs a stat of the
  // path and one read.  Saves by other processes show through the open
  // descriptor; an image replaced or recreated is another file, told apart
  // by its inode number (which cannot go to a new file while ours is held).
  static int heldFd = -1;
  static struct stat held;
  memset(out, 0, sizeof *out);
  struct stat now;
  if (stat(path, &now) != 0 || heldFd < 0 || now.st_dev != held.st_dev ||
      now.st_ino != held.st_ino) {
    if (heldFd >= 0) close(heldFd);
    heldFd = open(path, O_RDONLY | O_CLOEXEC);
    if (heldFd < 0) return;
    if (fstat(heldFd, &held) != 0) {
      close(heldFd);
      heldFd = -1;
      return;
    }
  }
  // One read from the first header to the end of the second costs less
  // than a second system call.  A short read leaves zeros, exactly as
  // eepromReadImage's view of it.
  static unsigned char span[kEepromSlotSize + kEepromHeaderSize];
  ssize_t got = pread(heldFd, span, sizeof span, 0);
  if (got < 0) {
    close(heldFd);
    heldFd = -1;
    return;
  }
  memset(span + got, 0, sizeof span - static_cast<size_t>(got));
  copyHeaders(span, out);
}

bool eepromSameHeaders(const EepromHeaders &a, const EepromHeaders &b) {
  return a.present == b.present && memcmp(a.raw, b.raw, sizeof a.raw) == 0;
}

int eepromSetup() { return 0; }

int eepromRead(char *buf) {
  uint64_t generation;
  int rc = eepromReadImage(unit::kEepromImage, buf, &generation, nullptr);
  if (rc == 0) eepromPlantedFault(buf);
  return rc;
}

int eepromWrite(const char *data, int length) {
  return eepromWriteImage(unit::kEepromImage, data, length, nullptr, nullptr);
}
