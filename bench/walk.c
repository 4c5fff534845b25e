/* The benchmark's stand-in for the SNMP daemon: starts a pass_persist
 * extension on pipes and talks to it in lock step, as the daemon does (a
 * keep-alive before every request, each answer read whole before the next
 * request is sent).
 *
 *   walk walks N -- COMMAND...       N whole-tree walks; prints per walk
 *                                    "walk NANOSECONDS ANSWERS"
 *   walk repeat N LINE... -- COMMAND...
 *                                    sends the request LINE... N times (no
 *                                    keep-alives), then ends the extension
 *   walk rss N1,N2,... -- COMMAND... walk steps (keep-alive and getnext, the
 *                                    walk starting over at its end); prints
 *                                    "rss STEPS KB" after each count
 *
 * For rss the extension runs without address randomisation.  Pages of the
 * C library are mapped 64 KiB at a time around the first one touched, so
 * where the library happens to land moves a program's resident size by
 * up to a tenth from run to run; at a fixed address every program finds
 * the library in the same place and the figure repeats exactly.
 */
#define _GNU_SOURCE
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/personality.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

static const char prefix[] = ".1.3.6.1.4.1.53177.2";
static int to, from;
static pid_t child;
static char buf[65536];
static int have, used;

static int fixedAddresses;

static void start(char **argv) {
  int in[2], out[2];
  if (pipe(in) || pipe(out)) exit(2);
  child = fork();
  if (child == 0) {
    dup2(in[0], 0);
    dup2(out[1], 1);
    close(in[0]), close(in[1]), close(out[0]), close(out[1]);
    if (fixedAddresses && personality(personality(0xffffffff) | ADDR_NO_RANDOMIZE) < 0)
      _exit(126);
    execvp(argv[0], argv);
    _exit(127);
  }
  close(in[0]), close(out[1]);
  to = in[1], from = out[0];
}

static void say(const char *text, int length) {
  if (write(to, text, length) != length) exit(3);
}

/* One line of the answer, without its line end. */
static char *line(void) {
  for (;;) {
    char *end = memchr(buf + used, '\n', have - used);
    if (end) {
      char *l = buf + used;
      *end = 0;
      used = (int)(end + 1 - buf);
      return l;
    }
    if (used) memmove(buf, buf + used, have - used), have -= used, used = 0;
    int n = (int)read(from, buf + have, sizeof buf - have);
    if (n <= 0) {
      fprintf(stderr, "walk: the extension ended\n");
      exit(4);
    }
    have += n;
  }
}

/* A request; its answer's first line (the OID of a get or getnext). */
static char *ask(const char *request, int length, int oneLine) {
  static char first[160];
  say(request, length);
  snprintf(first, sizeof first, "%s", line());
  if (!oneLine && strcmp(first, "NONE") != 0) line(), line();
  return first;
}

static void ping(void) {
  if (strcmp(ask("PING\n", 5, 1), "PONG") != 0) exit(5);
}

/* One walk step from oid; 0 at the end of the tree. */
static int step(char *oid) {
  char request[200];
  ping();
  int length = snprintf(request, sizeof request, "getnext\n%s\n", oid);
  char *next = ask(request, length, 0);
  if (strncmp(next, prefix, sizeof prefix - 1) != 0) return 0;
  strcpy(oid, next);
  return 1;
}

static long long now(void) {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return t.tv_sec * 1000000000LL + t.tv_nsec;
}

static long rssKb(void) {
  char path[64], text[4096];
  snprintf(path, sizeof path, "/proc/%d/status", (int)child);
  FILE *f = fopen(path, "r");
  if (!f) return -1;
  size_t n = fread(text, 1, sizeof text - 1, f);
  fclose(f);
  text[n] = 0;
  char *at = strstr(text, "VmRSS:");
  return at ? strtol(at + 6, NULL, 10) : -1;
}

static char **command(char **argv) {
  while (*argv && strcmp(*argv, "--") != 0) argv++;
  if (!*argv || !argv[1]) exit(2);
  return argv + 1;
}

int main(int argc, char **argv) {
  if (argc < 4) return 2;
  fixedAddresses = strcmp(argv[1], "rss") == 0;
  start(command(argv));
  char oid[200];
  if (strcmp(argv[1], "walks") == 0) {
    for (int n = atoi(argv[2]); n > 0; n--) {
      int answers = 0;
      strcpy(oid, prefix);
      long long t0 = now();
      while (step(oid)) answers++;
      printf("walk %lld %d\n", now() - t0, answers);
    }
  } else if (strcmp(argv[1], "repeat") == 0) {
    char request[2048];
    int length = 0;
    for (char **l = argv + 3; *l && strcmp(*l, "--") != 0; l++)
      length += snprintf(request + length, sizeof request - length, "%s\n", *l);
    int oneLine = strcmp(argv[3], "PING") == 0 || strcmp(argv[3], "set") == 0;
    for (int n = atoi(argv[2]); n > 0; n--) ask(request, length, oneLine);
  } else if (strcmp(argv[1], "rss") == 0) {
    long steps = 0;
    strcpy(oid, prefix);
    for (char *count = argv[2]; *count;) {
      long until = strtol(count, &count, 10);
      if (*count == ',') count++;
      for (; steps < until; steps++)
        if (!step(oid)) strcpy(oid, prefix);
      printf("rss %ld %ld\n", steps, rssKb());
    }
  }
  close(to);
  int status;
  waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}
