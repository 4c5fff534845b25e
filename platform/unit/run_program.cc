// Running a program from a command line, without a shell, or from its
// words as they are (runProgram).
//
// The line is split at blanks (spaces and tabs) and every word goes to the
// program as it stands: quotes, '&', '|', '$' and the like mean nothing
// here, so a modem init string such as ATE0S0=1&K3 reaches its program
// whole.  The first word names the program, looked up in PATH when it holds
// no '/'.
//
// Limits: a line of at most kCommandMax characters and at most kWordsMax
// words; a longer line is refused rather than run cut short.
//
// Result: the program's exit status, so 0 only when it exited with 0; 127
// when it could not be started (no such program, not executable); -1 when
// the line is empty or refused, the fork fails or the program was ended by
// a signal.
//
// Like system(3), the caller ignores SIGINT and SIGQUIT while it waits, so
// that Ctrl-C at the terminal stops the program it started (a ping, a shell)
// and not the caller; the program itself starts with the dispositions the
// caller had.
#include <errno.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "platform/device_services.h"

namespace {

constexpr int kCommandMax = 1023;
constexpr int kWordsMax = 63;

bool isBlank(char c) { return c == ' ' || c == '\t'; }

// Splits line in place; words[] ends with a null.  The number of words, or
// -1 when there are more than kWordsMax.
int splitWords(char *line, char *words[kWordsMax + 1]) {
  int count = 0;
  char *p = line;
  for (;;) {
    while (isBlank(*p)) *p++ = '\0';
    if (*p == '\0') break;
    if (count == kWordsMax) return -1;
    words[count++] = p;
    while (*p != '\0' && !isBlank(*p)) ++p;
  }
  words[count] = nullptr;
  return count;
}

}  // namespace

int systemX(const char *command) {
  if (!command || strlen(command) > kCommandMax) return -1;
  char line[kCommandMax + 1];
  strcpy(line, command);
  char *words[kWordsMax + 1];
  if (splitWords(line, words) <= 0) return -1;
  return runProgram(words);
}

int runProgram(const char *const argv[]) {
  if (!argv[0]) return -1;

  // What was printed before belongs before the program's own output.
  fflush(stdout);
  fflush(stderr);

  struct sigaction ignore = {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  struct sigaction savedInt, savedQuit;
  sigaction(SIGINT, &ignore, &savedInt);
  sigaction(SIGQUIT, &ignore, &savedQuit);

  int result = -1;
  pid_t child = fork();
  if (child == 0) {
    sigaction(SIGINT, &savedInt, nullptr);
    sigaction(SIGQUIT, &savedQuit, nullptr);
    execvp(argv[0], const_cast<char *const *>(argv));
    _exit(127);
  }
  if (child > 0) {
    int status;
    pid_t done;
    do {
      done = waitpid(child, &status, 0);
    } while (done < 0 && errno == EINTR);
    if (done == child && WIFEXITED(status)) result = WEXITSTATUS(status);
  }

  sigaction(SIGINT, &savedInt, nullptr);
  sigaction(SIGQUIT, &savedQuit, nullptr);
  return result;
}
