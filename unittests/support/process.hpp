// Running a child process for end-to-end tests: its standard output, standard
// error and exit status, with chosen environment changes.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace test_support {

struct ProcessResult {
  std::string out;  // standard output
  std::string err;  // standard error
  int status = -1;  // exit status, or 128 + signal number
};

struct ProcessOptions {
  // Variables to set (a value) or remove (nullopt) in the child's environment.
  std::map<std::string, std::optional<std::string>> env;
  // Remove every QUORVANE_* variable inherited from the parent first, so that
  // a developer's settings cannot change a test's outcome.
  bool clean_quorvane_env = true;
  std::optional<std::string> stdin_text;
  std::optional<std::string> cwd;
};

// Runs argv[0] (a path) with the arguments argv[1..].
ProcessResult run_process(const std::vector<std::string>& argv, const ProcessOptions& options = {});

// Runs the audit executable with `args`.
ProcessResult run_audit(const std::vector<std::string>& args, const ProcessOptions& options = {});

// The full path of `program` found through PATH, or empty.
std::string find_program(const std::string& program);

// Path of the audit executable and of the repository root, fixed by the build.
std::string audit_exe();
std::string source_dir();

}  // namespace test_support
