#include "unittests/runner_core/e2e_support.hpp"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <regex>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace runner_e2e {

test_support::ProcessResult run_fixture(const std::vector<std::string>& args,
                                        const test_support::ProcessOptions& options) {
  std::vector<std::string> argv{RUNNER_FIXTURE_EXE};
  argv.insert(argv.end(), args.begin(), args.end());
  return test_support::run_process(argv, options);
}

test_support::ProcessResult run_with_unwritable_stdout(const std::vector<std::string>& argv, bool closed,
                                                       const test_support::ProcessOptions& options) {
  if (closed) {
    // The shell starts the program with its standard output closed.
    std::vector<std::string> shell{"/bin/sh", "-c", "exec \"$@\" >&-", "sh"};
    shell.insert(shell.end(), argv.begin(), argv.end());
    return test_support::run_process(shell, options);
  }

  // Broken pipe: run through posix_spawn with a reader-less pipe as fd 1.
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  ::close(fds[0]);
  char err_path[] = "/tmp/runner_e2e_stderr_XXXXXX";
  const int err_fd = ::mkstemp(err_path);
  if (err_fd < 0) throw std::runtime_error("mkstemp failed");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
  posix_spawn_file_actions_adddup2(&actions, err_fd, 2);
  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e) {
    std::string entry(*e);
    if (options.clean_quorvane_env && entry.rfind("QUORVANE_", 0) == 0) continue;
    const std::string name = entry.substr(0, entry.find('='));
    if (options.env.count(name) != 0) continue;
    env.push_back(entry);
  }
  for (const auto& [name, value] : options.env) {
    if (value) env.push_back(name + "=" + *value);
  }
  std::vector<char*> envp;
  for (auto& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid = 0;
  const int rc = ::posix_spawn(&pid, args[0], &actions, nullptr, args.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  ::close(fds[1]);
  test_support::ProcessResult result;
  if (rc == 0) {
    int wstatus = 0;
    while (::waitpid(pid, &wstatus, 0) < 0 && errno == EINTR) {
    }
    result.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
  }
  std::ifstream in(err_path);
  std::ostringstream text;
  text << in.rdbuf();
  result.err = text.str();
  ::close(err_fd);
  ::unlink(err_path);
  if (rc != 0) throw std::runtime_error("posix_spawn failed");
  return result;
}

std::string mask(std::string_view output) {
  std::string text(output);
  text = std::regex_replace(text, std::regex("' \\([0-9]+\\) panicked"), "' (TID) panicked");
  text = std::regex_replace(text, std::regex("finished in [0-9]+\\.[0-9]{2}s"), "finished in T.TTs");
  text = std::regex_replace(text, std::regex("<[0-9]+\\.[0-9]{3}s>"), "<T.TTTs>");
  return text;
}

std::string mask_columns(std::string_view output) {
  return std::regex_replace(std::string(output), std::regex("(panicked at [^:\n]+:[0-9]+):[0-9]+:"),
                            "$1:C:");
}

std::vector<std::string> lines(std::string_view text) {
  std::vector<std::string> out;
  std::size_t start = 0;
  while (start <= text.size()) {
    const std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) {
      if (start < text.size()) out.emplace_back(text.substr(start));
      break;
    }
    out.emplace_back(text.substr(start, end - start));
    start = end + 1;
  }
  return out;
}

std::string source_position(const std::string& path, std::string_view needle) {
  std::ifstream in(test_support::source_dir() + "/" + path);
  std::string line;
  for (std::size_t number = 1; std::getline(in, line); ++number) {
    const std::size_t col = line.find(needle);
    if (col != std::string::npos) {
      return path + ":" + std::to_string(number) + ":" + std::to_string(col + 1);
    }
  }
  throw std::runtime_error("not found in " + path + ": " + std::string(needle));
}

std::size_t audit_check_count() {
  const auto listed = test_support::run_audit({"--list", "--format", "terse"});
  return lines(listed.out).size();
}

std::vector<std::string> result_lines(std::string_view output) {
  std::vector<std::string> all = lines(output);
  std::vector<std::string> out;
  bool in_results = false;
  for (const auto& l : all) {
    if (!in_results) {
      in_results = l.rfind("running ", 0) == 0;
      continue;
    }
    if (l.empty()) break;
    out.push_back(l);
  }
  return out;
}

}  // namespace runner_e2e
