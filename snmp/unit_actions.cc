// The two actions a manager can trigger: reboot the unit, or re-run the
// network start script.  Each runs in a child process so that the agent
// answers first; the child lets go of every inherited descriptor (the
// daemon's pipes included) before it acts.
#include <fcntl.h>
#include <sys/reboot.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/device_services.h"
#include "snmp/snmp_internal.h"

namespace {

constexpr int kInheritedDescriptors = 50;

// Earlier action children that have finished are reaped here, so that
// repeated restarts do not pile up zombies beside the long-lived agent.
pid_t startChild() {
  while (waitpid(-1, nullptr, WNOHANG) > 0) {
  }
  pid_t pid = fork();
  if (pid != 0) return pid;
  for (int fd = 0; fd < kInheritedDescriptors; ++fd) close(fd);
  return 0;
}

}  // namespace

void startReboot() {
  // Without a child the request is still answered; nothing more happens.
  if (startChild() != 0) return;
  sleep(1);
  sync();
  sleep(1);
  reboot(RB_AUTOBOOT);
  _exit(0);
}

void startWarmRestart() {
  if (startChild() != 0) return;
  sleep(2);
  // The script reports on the console; without one it still runs.
  int fd = open("/dev/console", O_RDWR);
  if (fd < 0) fd = open("/dev/null", O_RDWR);
  if (fd >= 0) {
    dup2(fd, 0);
    dup2(fd, 1);
    dup2(fd, 2);
    if (fd > 2) close(fd);
  }
  systemX("/etc/rc.network");
  _exit(0);
}
