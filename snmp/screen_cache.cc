// The screen state record: "/var/screen.bin", written by the unit's video
// program, read through a cache so that managers polling the status list
// cost at most one file read in any 10 seconds.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/device_services.h"
#include "snmp/snmp_internal.h"

namespace {

constexpr const char kScreenFile[] = "/var/screen.bin";
constexpr int kScreenMaxAge = 10;  // seconds

unsigned char *screenRecord;
time_t screenReadTime;

int32_t readBigEndian32(const unsigned char *p) {
  return static_cast<int32_t>(static_cast<uint32_t>(p[0]) << 24 |
                              static_cast<uint32_t>(p[1]) << 16 |
                              static_cast<uint32_t>(p[2]) << 8 |
                              static_cast<uint32_t>(p[3]));
}

// Under the SNMP daemon standard error is the same pipe as the answers: a
// report written there would be read as an answer line and put the
// protocol out of step.  Only then does the report go to the system log.
bool stderrIsAnswerPipe() {
  struct stat out;
  struct stat err;
  if (fstat(1, &out) != 0 || fstat(2, &err) != 0) return false;
  if (!S_ISFIFO(out.st_mode) && !S_ISSOCK(out.st_mode)) return false;
  return out.st_dev == err.st_dev && out.st_ino == err.st_ino;
}

void reportReadFailure() {
  if (stderrIsAnswerPipe()) {
    logIt(kLogError, "read %s: %s", kScreenFile, strerror(errno));
    return;
  }
  perror("read /var/screen.bin");
}

void readScreenFile() {
  int fd = open(kScreenFile, O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    reportReadFailure();
    memset(screenRecord, 0, kScreenRecordSize);
    return;
  }
  // A short file leaves the rest of the record as it was.
  int got = 0;
  while (got < kScreenRecordSize) {
    ssize_t n = read(fd, screenRecord + got, kScreenRecordSize - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<int>(n);
  }
  close(fd);
}

}  // namespace

bool screenReadDue(time_t now, time_t lastRead) {
  return now >= lastRead + kScreenMaxAge || now < lastRead;
}

const unsigned char *getScreen() {
  time_t now = time(nullptr);
  if (!screenRecord) {
    // The one allocation of the agent, kept for the life of the process.
    void *ret = calloc(1, kScreenRecordSize);
    if (!ret) __my_assert("ret", "snmp", "getScreen", 325);
    screenRecord = static_cast<unsigned char *>(ret);
  } else if (!screenReadDue(now, screenReadTime)) {
    return screenRecord;
  }
  // A failed read counts as a read: the zeros stand for 10 seconds.
  screenReadTime = now;
  readScreenFile();
  return screenRecord;
}

ScreenFields decodeScreen(const unsigned char *record) {
  ScreenFields fields;
  fields.videoStatus = readBigEndian32(record + 20);
  fields.refreshRate = readBigEndian32(record + 40);
  fields.width = readBigEndian32(record + 44);
  fields.height = readBigEndian32(record + 48);
  fields.screenState = record[207];
  return fields;
}
