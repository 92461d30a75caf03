// Runs a program and reports its peak resident set size, measured apart from
// the process that started it:
//
//   peak_rss_launcher FD CPU_SECONDS PROGRAM [ARGS...]
//
// A forked child starts with a copy of its parent's memory, and that copy's
// peak counts towards the child's; a large test process would thus inflate
// the figure of every program it runs. This launcher is small: it forks the
// program from itself, waits for it, writes "<peak RSS in KiB>\n" to the
// descriptor FD and exits with the program's status (128 + the signal's
// number when a signal ended it). It runs in a process group of its own, so
// that killing the group stops the program too.
//
// CPU_SECONDS above 0 bounds the processor time the program may use: past
// it the program receives SIGXCPU (and SIGKILL two seconds of processor time
// later), without a core dump. A bound on processor time, unlike one on the
// wall clock, does not shrink when other processes load the machine.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: peak_rss_launcher FD CPU_SECONDS PROGRAM [ARGS...]\n");
    return 127;
  }
  const int report = std::atoi(argv[1]);
  const long cpu_seconds = std::atol(argv[2]);
  ::setpgid(0, 0);
  ::fcntl(report, F_SETFD, FD_CLOEXEC);
  const pid_t pid = ::fork();
  if (pid < 0) return 127;
  if (pid == 0) {
    if (cpu_seconds > 0) {
      const rlimit cpu{static_cast<rlim_t>(cpu_seconds), static_cast<rlim_t>(cpu_seconds + 2)};
      const rlimit no_core{0, 0};
      if (::setrlimit(RLIMIT_CORE, &no_core) != 0 || ::setrlimit(RLIMIT_CPU, &cpu) != 0) {
        std::perror("peak_rss_launcher: setrlimit");
        ::_exit(127);
      }
    }
    ::execv(argv[3], argv + 3);
    ::_exit(127);
  }
  int status = 0;
  rusage usage{};
  while (::wait4(pid, &status, 0, &usage) < 0) {
    if (errno != EINTR) return 127;
  }
  char line[32];
  const int length = std::snprintf(line, sizeof line, "%ld\n", usage.ru_maxrss);
  if (::write(report, line, static_cast<std::size_t>(length)) != length) return 127;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
