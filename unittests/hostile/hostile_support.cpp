#include "unittests/hostile/hostile_support.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <string_view>

#include "unittests/support/process.hpp"

extern char** environ;

namespace hostile {

namespace {

void put_u32(dat_writer::Bytes& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

void put_row(dat_writer::Bytes& out, std::uint32_t style, std::uint32_t height, std::uint32_t type,
             std::uint32_t skill, std::uint32_t motion) {
  for (const std::uint32_t v : {style, height, type, skill, motion}) put_u32(out, v);
}

[[noreturn]] void fail_errno(const char* what) {
  throw std::runtime_error(std::string(what) + ": " + std::strerror(errno));
}

// Drains the readable ends of `fds` into `sinks` until all reach end of file
// or the deadline passes; returns false on timeout.
constexpr std::size_t DRAINED = 3;
bool drain(std::array<int, DRAINED> fds, std::array<std::string*, DRAINED> sinks,
           std::chrono::steady_clock::time_point deadline) {
  std::array<bool, DRAINED> open{fds[0] >= 0, fds[1] >= 0, fds[2] >= 0};
  while (open[0] || open[1] || open[2]) {
    std::array<pollfd, DRAINED> polled{};
    nfds_t n = 0;
    std::array<std::size_t, DRAINED> which{};
    for (std::size_t i = 0; i < DRAINED; ++i) {
      if (open[i]) {
        polled[n] = {fds[i], POLLIN, 0};
        which[n++] = i;
      }
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    const int ready = ::poll(polled.data(), n, static_cast<int>(left.count()));
    if (ready < 0) {
      if (errno == EINTR) continue;
      fail_errno("poll");
    }
    for (nfds_t k = 0; k < n; ++k) {
      if (polled[k].revents == 0) continue;
      char buf[65536];
      const ssize_t got = ::read(polled[k].fd, buf, sizeof buf);
      if (got > 0) {
        sinks[which[k]]->append(buf, static_cast<std::size_t>(got));
      } else if (got == 0 || errno != EINTR) {
        open[which[k]] = false;
      }
    }
  }
  return true;
}

}  // namespace

dat_writer::Bytes passing_table(std::optional<std::uint32_t> count) {
  dat_writer::Bytes out;
  put_u32(out, TABLE_ID);
  put_u32(out, count.value_or(4));
  put_row(out, 0x80000040, 1, 0x04, 0, 0x1000005E);  // BackhandHigh
  put_row(out, 0x80000040, 2, 0x04, 0, 0x1000005F);  // BackhandMed
  put_row(out, 0x80000040, 3, 0x04, 0, 0x10000060);  // BackhandLow
  put_row(out, 0x8000003E, 1, 0x02, 0, 0x10000058);  // another stance
  return out;
}

dat_writer::Bytes passing_archive(std::uint32_t block_size, bool compressed) {
  dat_writer::ArchiveBuilder builder(block_size);
  dat_writer::Node root;
  root.entries.push_back(builder.add_file(TABLE_ID, passing_table(), compressed));
  builder.set_root(builder.add_node(root));
  return builder.bytes();
}

Run run_audit(const std::optional<std::string>& archive, const std::vector<std::string>& args,
              Stdout stdout_mode, Limits limits) {
  // The audit runs under the launcher, which bounds its processor time and
  // reports its peak memory on descriptor REPORT_FD.
  constexpr int REPORT_FD = 3;
  const std::string exe = QUORVANE_PEAK_RSS_LAUNCHER;
  std::vector<std::string> argv_text{exe, std::to_string(REPORT_FD), std::to_string(limits.cpu_seconds),
                                     test_support::audit_exe()};
  argv_text.insert(argv_text.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : argv_text) argv.push_back(a.data());
  argv.push_back(nullptr);

  std::vector<std::string> env_text;
  for (char** e = environ; *e != nullptr; ++e) {
    if (std::string_view(*e).rfind("QUORVANE_", 0) != 0) env_text.emplace_back(*e);
  }
  if (archive) env_text.push_back("QUORVANE_PORTAL_DAT=" + *archive);
  std::vector<char*> envp;
  for (auto& e : env_text) envp.push_back(e.data());
  envp.push_back(nullptr);

  int out_pipe[2] = {-1, -1};
  int err_pipe[2] = {-1, -1};
  int report_pipe[2] = {-1, -1};
  if (::pipe2(err_pipe, O_CLOEXEC) != 0) fail_errno("pipe2");
  if (::pipe2(report_pipe, O_CLOEXEC) != 0) fail_errno("pipe2");
  if (stdout_mode != Stdout::Closed && ::pipe2(out_pipe, O_CLOEXEC) != 0) fail_errno("pipe2");
  if (stdout_mode == Stdout::BrokenPipe) {
    ::close(out_pipe[0]);
    out_pipe[0] = -1;
  }

  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = ::fork();
  if (pid < 0) fail_errno("fork");
  if (pid == 0) {
    ::dup2(report_pipe[1], REPORT_FD);
    ::dup2(err_pipe[1], STDERR_FILENO);
    if (stdout_mode == Stdout::Closed) {
      ::close(STDOUT_FILENO);
    } else {
      ::dup2(out_pipe[1], STDOUT_FILENO);
    }
    const int null_in = ::open("/dev/null", O_RDONLY);
    if (null_in >= 0) ::dup2(null_in, STDIN_FILENO);
    ::execve(exe.c_str(), argv.data(), envp.data());
    ::_exit(127);
  }
  ::close(err_pipe[1]);
  ::close(report_pipe[1]);
  if (out_pipe[1] >= 0) ::close(out_pipe[1]);

  Run run;
  std::string report;
  const auto deadline = start + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                    std::chrono::duration<double>(limits.wall_seconds));
  run.timed_out =
      !drain({out_pipe[0], err_pipe[0], report_pipe[0]}, {&run.out, &run.err, &report}, deadline);
  if (run.timed_out) {
    ::kill(-pid, SIGKILL);  // the launcher's group: it and the audit
    ::kill(pid, SIGKILL);
  }
  if (out_pipe[0] >= 0) ::close(out_pipe[0]);
  ::close(err_pipe[0]);
  ::close(report_pipe[0]);

  int status = 0;
  rusage usage{};
  while (::wait4(pid, &status, 0, &usage) < 0) {
    if (errno != EINTR) fail_errno("wait4");
  }
  run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  run.peak_rss_kib = std::atol(report.c_str());
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  run.cpu_limited = limits.cpu_seconds > 0 &&
                    (run.status == 128 + SIGXCPU || (run.status == 128 + SIGKILL && !run.timed_out));
  return run;
}

std::filesystem::path fallback_archive_path() {
  return std::filesystem::path(test_support::source_dir() + "/src/../../dats/portal.dat");
}

}  // namespace hostile
