/* Linked into setup in the coverage build only.  A process that ends with
 * _exit (a signal handler's way out) or replaces itself with another program
 * would take its gcov counts with it: these wrappers (ld --wrap) write them
 * out first.  So does SIGTERM, which tools/unit sends a coverage build's
 * setup before it ends a sandbox, unless the program handles or ignores
 * that signal itself.  Counts written twice only add up; what was reached
 * stays reached. */
#include <signal.h>
#include <stdarg.h>
#include <stddef.h>

void __gcov_dump(void);

static void dumpAndEnd(int sig) {
  __gcov_dump();
  signal(sig, SIG_DFL);
  raise(sig);
}

__attribute__((constructor)) static void dumpOnTerm(void) {
  struct sigaction old;
  if (sigaction(SIGTERM, NULL, &old) == 0 && old.sa_handler == SIG_DFL)
    signal(SIGTERM, dumpAndEnd);
}

__attribute__((noreturn)) void __real__exit(int status);
int __real_execvp(const char *file, char *const argv[]);

__attribute__((noreturn)) void __wrap__exit(int status) {
  __gcov_dump();
  __real__exit(status);
}

int __wrap_execvp(const char *file, char *const argv[]) {
  __gcov_dump();
  return __real_execvp(file, argv);
}

/* The product's execlp calls pass a handful of words. */
int __wrap_execlp(const char *file, const char *arg, ...) {
  char *argv[32];
  int n = 0;
  va_list ap;
  va_start(ap, arg);
  for (const char *a = arg; a && n < 31; a = va_arg(ap, const char *)) argv[n++] = (char *)a;
  va_end(ap);
  argv[n] = NULL;
  __gcov_dump();
  return __real_execvp(file, argv);
}
