#include "unittests/support/process.hpp"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

extern char** environ;

namespace test_support {
namespace {

std::vector<std::string> child_environment(const ProcessOptions& options) {
  std::map<std::string, std::string> vars;
  for (char** e = environ; *e != nullptr; ++e) {
    std::string entry(*e);
    auto eq = entry.find('=');
    if (eq == std::string::npos) continue;
    std::string name = entry.substr(0, eq);
    if (options.clean_quorvane_env && name.rfind("QUORVANE_", 0) == 0) continue;
    vars[name] = entry.substr(eq + 1);
  }
  for (const auto& [name, value] : options.env) {
    if (value) {
      vars[name] = *value;
    } else {
      vars.erase(name);
    }
  }
  std::vector<std::string> out;
  out.reserve(vars.size());
  for (const auto& [name, value] : vars) out.push_back(name + "=" + value);
  return out;
}

void drain(int fds[2], std::string& out, std::string& err) {
  pollfd p[2] = {{fds[0], POLLIN, 0}, {fds[1], POLLIN, 0}};
  int open_count = 2;
  char buf[65536];
  while (open_count > 0) {
    if (::poll(p, 2, -1) < 0) {
      if (errno == EINTR) continue;
      throw std::runtime_error("poll failed");
    }
    for (int i = 0; i < 2; ++i) {
      if (p[i].fd < 0 || (p[i].revents & (POLLIN | POLLHUP | POLLERR)) == 0) continue;
      ssize_t n = ::read(p[i].fd, buf, sizeof buf);
      if (n > 0) {
        (i == 0 ? out : err).append(buf, static_cast<std::size_t>(n));
      } else if (n == 0 || errno != EINTR) {
        ::close(p[i].fd);
        p[i].fd = -1;
        --open_count;
      }
    }
  }
}

}  // namespace

ProcessResult run_process(const std::vector<std::string>& argv, const ProcessOptions& options) {
  int out_pipe[2];
  int err_pipe[2];
  int in_pipe[2];
  if (::pipe2(out_pipe, O_CLOEXEC) != 0 || ::pipe2(err_pipe, O_CLOEXEC) != 0 ||
      ::pipe2(in_pipe, O_CLOEXEC) != 0) {
    throw std::runtime_error("pipe failed");
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in_pipe[0], 0);
  posix_spawn_file_actions_adddup2(&actions, out_pipe[1], 1);
  posix_spawn_file_actions_adddup2(&actions, err_pipe[1], 2);
  if (options.cwd) posix_spawn_file_actions_addchdir_np(&actions, options.cwd->c_str());

  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  std::vector<std::string> env = child_environment(options);
  std::vector<char*> envp;
  for (auto& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);

  pid_t pid = 0;
  int rc = ::posix_spawn(&pid, argv.at(0).c_str(), &actions, nullptr, args.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  ::close(out_pipe[1]);
  ::close(err_pipe[1]);
  ::close(in_pipe[0]);
  if (rc != 0) {
    ::close(out_pipe[0]);
    ::close(err_pipe[0]);
    ::close(in_pipe[1]);
    throw std::runtime_error(std::string("posix_spawn failed: ") + std::strerror(rc));
  }
  if (options.stdin_text) {
    std::size_t done = 0;
    while (done < options.stdin_text->size()) {
      ssize_t n =
          ::write(in_pipe[1], options.stdin_text->data() + done, options.stdin_text->size() - done);
      if (n <= 0) break;
      done += static_cast<std::size_t>(n);
    }
  }
  ::close(in_pipe[1]);

  ProcessResult result;
  int fds[2] = {out_pipe[0], err_pipe[0]};
  drain(fds, result.out, result.err);
  int wstatus = 0;
  while (::waitpid(pid, &wstatus, 0) < 0 && errno == EINTR) {
  }
  result.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
  return result;
}

std::string find_program(const std::string& program) {
  const char* path = std::getenv("PATH");
  std::string dirs = path != nullptr ? path : "/usr/bin:/bin";
  std::size_t start = 0;
  while (start <= dirs.size()) {
    std::size_t colon = dirs.find(':', start);
    if (colon == std::string::npos) colon = dirs.size();
    const std::string dir = dirs.substr(start, colon - start);
    const std::string candidate = (dir.empty() ? "." : dir) + "/" + program;
    if (::access(candidate.c_str(), X_OK) == 0) return candidate;
    start = colon + 1;
  }
  return {};
}

std::string audit_exe() { return QUORVANE_AUDIT_EXE; }
std::string source_dir() { return QUORVANE_SOURCE_DIR; }

ProcessResult run_audit(const std::vector<std::string>& args, const ProcessOptions& options) {
  std::vector<std::string> argv{audit_exe()};
  argv.insert(argv.end(), args.begin(), args.end());
  return run_process(argv, options);
}

}  // namespace test_support
