/* The ruler of the agent's benchmark, not a product: the least a pass_persist
 * extension must do to serve the same instances as `setup -S` (same OID
 * layout and count, constant values), against which the agent's costs are
 * measured.  Argument: the number of user rows (account slots + 2).
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static const char prefix[] = ".1.3.6.1.4.1.53177.2";
/* Per subtree 1 to 5: columns (0 for a list of scalars) and rows. */
static int cols[6] = {0, 3, 0, 6, 0, 7};
static int rows[6] = {0, 86, 5, 2, 8, 15};

static int exact(const int *a, int n) {
  int s = a[0];
  if (s < 1 || s > 5) return 0;
  if (!cols[s]) return n == 2 && a[1] >= 1 && a[1] <= rows[s];
  return n == 5 && a[1] == 1 && a[2] == 1 && a[3] >= 1 && a[3] <= cols[s] &&
         a[4] >= 1 && a[4] <= rows[s];
}

/* Moves a[] to the instance after it in walk order; 0 past the end. */
static int next(int *a, int n) {
  int s = n ? a[0] : 0, c, r;
  if (s < 1) s = 1, n = 1;
  for (; s <= 5; s++, n = 1) {
    if (!cols[s]) {
      r = n >= 2 && a[1] >= 1 ? a[1] + 1 : 1;
      if (r <= rows[s]) return a[0] = s, a[1] = r, 1;
      continue;
    }
    c = n >= 4 ? a[3] : 0, r = n >= 5 ? a[4] : 0;
    if (c < 1) c = 1, r = 0;
    if (++r < 1) r = 1;
    if (r > rows[s]) c++, r = 1;
    if (c <= cols[s])
      return a[0] = s, a[1] = a[2] = 1, a[3] = c, a[4] = r, 1;
  }
  return 0;
}

static void answer(const int *a) {
  if (!cols[a[0]]) {
    printf("%s.%d.%d\ninteger\n%d\n", prefix, a[0], a[1], a[1]);
  } else if (a[3] == 2 || a[3] == 3) {
    printf("%s.%d.1.1.%d.%d\nstring\nvalue\n", prefix, a[0], a[3], a[4]);
  } else {
    printf("%s.%d.1.1.%d.%d\ninteger\n%d\n", prefix, a[0], a[3], a[4], a[4]);
  }
}

static int parse(const char *oid, int *a) {
  int n = 0;
  if (strncmp(oid, prefix, sizeof prefix - 1) != 0) return -1;
  oid += sizeof prefix - 1;
  while (*oid == '.' && n < 8) a[n++] = (int)strtol(oid + 1, (char **)&oid, 10);
  return n;
}

int main(int argc, char **argv) {
  static char in[4096], out[4096], cmd[160], oid[160], value[1024];
  int a[8], n;
  if (argc > 1) rows[3] = atoi(argv[1]);
  setvbuf(stdin, in, _IOFBF, sizeof in);
  setvbuf(stdout, out, _IOFBF, sizeof out);
  for (;;) {
    fflush(stdout);
    if (!fgets(cmd, sizeof cmd, stdin)) return 0;
    if (strcmp(cmd, "PING\n") == 0) {
      fputs("PONG\n", stdout);
      continue;
    }
    if (!fgets(oid, sizeof oid, stdin)) return 0;
    oid[strcspn(oid, "\n")] = 0;
    n = parse(oid, a);
    if (strcmp(cmd, "set\n") == 0) {
      if (!fgets(value, sizeof value, stdin)) return 0;
      fputs(n > 0 && exact(a, n) ? "success\n" : "not-writable\n", stdout);
    } else if (strcmp(cmd, "getnext\n") == 0 ? n >= 0 && next(a, n)
                                               : n > 0 && exact(a, n)) {
      answer(a);
    } else {
      fputs("NONE\n", stdout);
    }
  }
}
