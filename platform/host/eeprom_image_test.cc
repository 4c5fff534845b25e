#include "platform/host/eeprom_image.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>

#include "platform/device_services.h"
#include "platform/host/scratch_test_util.h"

namespace {

class EepromImage : public Scratch {
 protected:
  void flipByte(long offset) {
    std::string data = readFile(image_);
    data[offset] ^= 1;
    writeFile(image_, data);
  }
};

// A text that shows by itself whether it is whole: its number, then a
// filler whose length and content follow from the number.
std::string numbered(long n) {
  std::string text = "seq=" + std::to_string(n) + "\n";
  size_t length = 200 + (n * 997) % 7500;
  while (text.size() < length) text += "x" + std::to_string(n % 97);
  text.resize(length);
  return text;
}

long numberOf(const std::string &text) {
  long n = text.compare(0, 4, "seq=") == 0 ? atol(text.c_str() + 4) : -1;
  return n >= 0 && numbered(n) == text ? n : -1;
}

TEST_F(EepromImage, KeepsTextsOfEverySizeAndCountsGenerations) {
  EXPECT_EQ(load(), "<none>");  // no image yet
  std::string full(kEepromSize - 1, 'k');
  uint64_t g1 = 0, g2 = 0;
  ASSERT_EQ(save(full), 0);
  EXPECT_EQ(load(&g1), full);
  // An erased EEPROM: one zero byte.
  ASSERT_EQ(save(""), 0);
  EXPECT_EQ(load(&g2), "");
  EXPECT_EQ(g2, g1 + 1);
  // Refused, and the stored text left alone: more than the EEPROM holds,
  // or a text of all its bytes that leaves no room for its terminator.
  const std::string unterminated(kEepromSize, 'u');
  EXPECT_EQ(eepromWriteImage(image_.c_str(), full.c_str(), kEepromSize + 1,
                             nullptr, nullptr), -1);
  EXPECT_EQ(eepromWriteImage(image_.c_str(), unterminated.data(), kEepromSize,
                             nullptr, nullptr), -1);
  EXPECT_EQ(load(), "");
}

TEST_F(EepromImage, FallsBackToTheOtherCopyWhenTheNewestIsDamaged) {
  ASSERT_EQ(save("one"), 0);    // slot 0, generation 1
  ASSERT_EQ(save("two"), 0);    // slot 1, generation 2
  ASSERT_EQ(save("three"), 0);  // slot 0, generation 3
  flipByte(kEepromHeaderSize + 2);  // data of slot 0
  EXPECT_EQ(load(), "two");
  // The next save goes over the damaged copy, never over the good one.
  ASSERT_EQ(save("four"), 0);
  EXPECT_EQ(load(), "four");
  flipByte(16);  // CRC field of slot 0
  EXPECT_EQ(load(), "two");
  flipByte(kEepromSlotSize + 8);  // generation of slot 1
  EXPECT_EQ(load(), "<none>");
  writeFile(image_, std::string(2 * kEepromSlotSize, '\xff'));
  EXPECT_EQ(load(), "<none>");
  ASSERT_EQ(save("five"), 0);
  EXPECT_EQ(load(), "five");
}

TEST_F(EepromImage, AWriteCutShortAtAnyByteLeavesAWholeCopy) {
  ASSERT_EQ(save(numbered(1)), 0);
  ASSERT_EQ(save(numbered(2)), 0);
  const std::string base = readFile(image_);
  const long dataLen = static_cast<long>(numbered(143).size()) + 1;
  const long total = dataLen + kEepromHeaderSize;
  for (long cut = 0; cut <= total; cut++) {
    writeFile(image_, base);
    ASSERT_EQ(save(numbered(143), cut), cut < total ? -1 : 0) << cut;
    long now = numberOf(load());
    // Until the header is written the old copy stays current; the header's
    // last bytes may already hold what the new one needs.
    long expected = cut <= dataLen ? 2 : cut == total ? 143 : now;
    ASSERT_TRUE(now == expected && (now == 2 || now == 143)) << "cut at " << cut;
  }
  // A save after a cut lands as usual, also after a near-full text.
  for (long cut = 0; cut < 7179; cut += 509) {
    writeFile(image_, base);
    ASSERT_EQ(save(numbered(7), cut), -1);
    ASSERT_EQ(numberOf(load()), 2);
    ASSERT_EQ(save(numbered(9)), 0);
    ASSERT_EQ(numberOf(load()), 9);
  }
}

// Children save numbered texts in a loop and report each save that returned
// 0; they are killed at unforeseen moments.  The image must always hold one
// whole text, never older than the last reported save.
TEST_F(EepromImage, WritersKilledAtRandomNeverTearOrLoseASave) {
  ASSERT_EQ(save(numbered(0)), 0);
  srand(4242);
  long next = 1;
  for (int round = 0; round < 30; round++) {
    int acks[2];
    ASSERT_EQ(pipe(acks), 0);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      for (long n = next;; n++) {
        if (save(numbered(n)) != 0) _exit(3);
        if (write(acks[1], &n, sizeof n) != sizeof n) _exit(4);
      }
    }
    close(acks[1]);
    long acked = -1, n;
    for (int wanted = 1 + rand() % 4; wanted > 0; wanted--) {
      ASSERT_EQ(read(acks[0], &n, sizeof n), static_cast<ssize_t>(sizeof n));
      acked = n;
    }
    // Let the next save get a random distance along before the kill.
    for (volatile long spin = rand() % 200000; spin > 0; spin--) {
    }
    kill(pid, SIGKILL);
    int status;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFSIGNALED(status)) << "writer failed: " << status;
    while (read(acks[0], &n, sizeof n) == static_cast<ssize_t>(sizeof n)) acked = n;
    close(acks[0]);

    long stored = numberOf(load());
    ASSERT_TRUE(stored == acked || stored == acked + 1) << "round " << round;
    next = stored + 1;
  }
}

TEST_F(EepromImage, ConcurrentSaversEachLandWhole) {
  ASSERT_EQ(save(numbered(0)), 0);
  constexpr int kWriters = 4, kSaves = 25;
  pid_t pids[kWriters];
  for (int w = 0; w < kWriters; w++) {
    pids[w] = fork();
    ASSERT_GE(pids[w], 0);
    if (pids[w] == 0) {
      for (int i = 0; i < kSaves; i++) {
        if (save(numbered(1000 * (w + 1) + i)) != 0) _exit(1);
      }
      _exit(0);
    }
  }
  for (pid_t pid : pids) {
    int status;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  uint64_t generation = 0;
  // Every save got its own generation: none overwrote another half-way.
  EXPECT_EQ(numberOf(load(&generation)) % 1000, kSaves - 1);
  EXPECT_EQ(generation, 1u + kWriters * kSaves);
}

}  // namespace
