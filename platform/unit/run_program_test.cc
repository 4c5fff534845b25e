#include <signal.h>

#include <string>

#include <gtest/gtest.h>

#include "platform/device_services.h"
#include "platform/testing/test_files.h"

namespace {

// test(1) exits 0 exactly when its words form a true expression, which
// shows how the line was split.
TEST(RunProgram, WordsReachTheProgramAsTheyStand) {
  EXPECT_EQ(systemX("test ATE0S0=1&K3 = ATE0S0=1&K3"), 0);
  EXPECT_NE(systemX("test \"x\" = x"), 0);  // quotes are not removed
  // Runs of blanks and tabs separate; no empty words at either end.
  EXPECT_EQ(systemX("  test\t a   =\t\ta  "), 0);
  // Given as words, blanks stay inside their word.
  const char *const blanks[] = {"test", " -r x ", "=", " -r x ", nullptr};
  EXPECT_EQ(runProgram(blanks), 0);
  const char *const none[] = {nullptr};
  EXPECT_NE(runProgram(none), 0);
}

TEST(RunProgram, OnlyExitStatusZeroIsSuccess) {
  TempDir dir;
  std::string killed = dir.write("die", "#!/bin/sh\nkill -TERM $$\n", 0755);
  EXPECT_EQ(systemX("true"), 0);
  EXPECT_NE(systemX("false"), 0);
  EXPECT_NE(systemX(killed.c_str()), 0);
  EXPECT_NE(systemX("no-such-program-anywhere"), 0);
  EXPECT_NE(systemX(" \t "), 0);
  // Too long or too many words: refused, not run cut short as "true".
  EXPECT_NE(systemX(("true" + std::string(2000, ' ') + "x").c_str()), 0);
  std::string words = "true";
  for (int i = 0; i < 100; ++i) words += " w";
  EXPECT_NE(systemX(words.c_str()), 0);
}

// Ctrl-C reaches the whole foreground group: the caller must survive it
// while the program runs, and get its own disposition back afterwards.
TEST(RunProgram, CallerIgnoresInterruptOnlyWhileWaiting) {
  TempDir dir;
  std::string script = dir.write("int", "#!/bin/sh\nkill -INT $PPID\n", 0755);
  EXPECT_EQ(systemX(script.c_str()), 0);
  struct sigaction now;
  sigaction(SIGINT, nullptr, &now);
  EXPECT_EQ(now.sa_handler, SIG_DFL);
}

}  // namespace
