/* The benchmark's log reader, not a product: binds a datagram socket that
 * stands in for /dev/log and appends every datagram it receives, one a
 * line, to a file, as the appliance's C syslog daemon would.  The unit's
 * own reader is a Python thread; with the short queue of a datagram socket
 * a logging program waits on it, which would be measured as the agent's.
 *
 *   logsink SOCKET FILE   prints "ready" once bound; ends on SIGTERM
 */
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

static char buf[65536 + 1];

int main(int argc, char **argv) {
  if (argc != 3) return 2;
  struct sockaddr_un a = {.sun_family = AF_UNIX};
  if (strlen(argv[1]) >= sizeof a.sun_path) return 2;
  strcpy(a.sun_path, argv[1]);
  int s = socket(AF_UNIX, SOCK_DGRAM, 0);
  if (s < 0 || bind(s, (struct sockaddr *)&a, sizeof a) || chmod(argv[1], 0666)) return 1;
  int out = open(argv[2], O_WRONLY | O_CREAT | O_APPEND, 0644);
  if (out < 0) return 1;
  printf("ready\n");
  fflush(stdout);
  for (;;) {
    ssize_t n = recv(s, buf, sizeof buf - 1, 0);
    if (n < 0) continue;
    while (n > 0 && (buf[n - 1] == 0 || buf[n - 1] == '\n')) n--;
    buf[n++] = '\n';
    if (write(out, buf, (size_t)n) != n) return 1;
  }
}
