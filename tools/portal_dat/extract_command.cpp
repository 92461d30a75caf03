// extract: the selected entries' decoded bytes, each to DIR/<id>.bin.
#include <signal.h>

#include <array>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

#include "quorvane_dat/lib/batch_reader.hpp"
#include "tools/portal_dat/commands.hpp"
#include "tools/portal_dat/output_dir.hpp"
#include "tools/portal_dat/progress_line.hpp"
#include "tools/portal_dat/tool_output.hpp"

namespace portal_dat {

namespace {

volatile std::sig_atomic_t interrupted_by = 0;

extern "C" void note_interruption(int signal_number) { interrupted_by = signal_number; }

// Until destroyed, an interruption only sets a flag, so that the file being
// written is finished or removed before the process ends.
class InterruptGuard {
 public:
  InterruptGuard() {
    struct sigaction action {};
    action.sa_handler = note_interruption;
    sigemptyset(&action.sa_mask);
    for (std::size_t i = 0; i < SIGNALS.size(); ++i) sigaction(SIGNALS[i], &action, &previous_[i]);
  }
  ~InterruptGuard() {
    for (std::size_t i = 0; i < SIGNALS.size(); ++i) sigaction(SIGNALS[i], &previous_[i], nullptr);
  }
  InterruptGuard(const InterruptGuard&) = delete;
  InterruptGuard& operator=(const InterruptGuard&) = delete;

 private:
  static constexpr std::array<int, 3> SIGNALS{SIGINT, SIGTERM, SIGHUP};
  std::array<struct sigaction, 3> previous_{};
};

}  // namespace

int run_extract(const ExtractOptions& options) {
  OpenedSelection opened = open_selection(options.archive, options.selection);
  if (!opened.database) return opened.status;
  const std::optional<quorvane_dat::DatDatabase>& database = opened.database;
  SelectedEntries& selected = opened.selected;
  int status = EXIT_OK;

  for (const std::uint32_t id : selected.missing_ids) {
    report_error(hex8(id) + ": not in the archive");
    status = EXIT_PROBLEM;
  }
  std::string error;
  std::optional<OutputDir> directory = OutputDir::open(options.directory, error);
  if (!directory) {
    report_error(error);
    return EXIT_PROBLEM;
  }

  std::uint64_t total_bytes = 0;
  for (const auto& entry : selected.entries) total_bytes += entry.size;
  ProgressLine progress(selected.entries.size(), total_bytes, options.quiet);
  const auto fail = [&](const std::string& message) {
    progress.clear();
    report_error(message);
    status = EXIT_PROBLEM;
  };

  quorvane_dat::BatchOptions batch;
  batch.threads = reading_threads(options.threads, options.verbose);
  batch.decode = true;
  std::uint64_t written_files = 0;
  std::uint64_t written_bytes = 0;
  const InterruptGuard guard;
  // A file whose chain loops or whose body decodes short is not written
  // unless --salvage; either way it is reported.
  const auto refuse = [&](const std::string& id, const std::string& problem) {
    fail(id + ": " + problem + "; not extracted (--salvage writes what is read)");
  };
  // Writes a file that comes as a stream, piece by piece, into its unnamed or
  // temporary file; nullopt when it was refused or could not be read (and
  // has been reported), or extraction was interrupted.
  const auto write_stream = [&](quorvane_dat::FileStream& stream, const std::string& id,
                                const std::string& name) -> std::optional<WriteOutcome> {
    PendingFile pending;
    std::uint64_t count = 0;
    if (WriteOutcome started = directory->start(name, options.force, pending);
        started.status != WriteOutcome::Status::Written) {
      return started;
    }
    for (;;) {
      auto piece = stream.next();
      if (!piece || interrupted_by != 0 || (!options.salvage && stream.chain_loops())) {
        directory->abandon(pending);
        if (!piece) fail(id + ": " + piece.error().plain());
        if (piece && interrupted_by == 0) refuse(id, content_problem(true, false));
        return std::nullopt;
      }
      if (piece->empty()) break;
      if (WriteOutcome appended = directory->append(pending, *piece);
          appended.status != WriteOutcome::Status::Written) {
        return appended;
      }
      count += piece->size();
    }
    if (!options.salvage && stream.findings().short_output) {
      directory->abandon(pending);
      refuse(id, content_problem(false, true));
      return std::nullopt;
    }
    WriteOutcome finished = directory->finish(pending);
    if (finished.status == WriteOutcome::Status::Written) written_bytes += count;
    return finished;
  };
  const auto ran = quorvane_dat::read_batch(
      *database, selected.entries, batch, [&](const quorvane_dat::BatchFile& file) {
        if (interrupted_by != 0) return false;
        progress.advance(file.entry->size);
        const std::string id = hex8(file.entry->id);
        const std::string name = id + ".bin";
        if (file.error != nullptr) {
          fail(id + ": " + file.error->plain());
          return true;
        }
        std::string problem;
        WriteOutcome outcome;
        if (file.stream != nullptr) {
          const std::optional<WriteOutcome> streamed = write_stream(*file.stream, id, name);
          if (!streamed) return interrupted_by == 0;
          outcome = *streamed;
          problem = content_problem(file.stream->chain_loops(), file.stream->findings().short_output);
        } else {
          problem = content_problem(file.chain_loops, file.findings.short_output);
          if (!problem.empty() && !options.salvage) {
            refuse(id, problem);
            return true;
          }
          outcome = directory->write_file(name, file.bytes, options.force);
          if (outcome.status == WriteOutcome::Status::Written) written_bytes += file.bytes.size();
        }
        switch (outcome.status) {
          case WriteOutcome::Status::Written:
            ++written_files;
            if (!problem.empty()) fail(id + ": " + problem + "; extracted as read (--salvage)");
            return true;
          case WriteOutcome::Status::Exists:
            fail(options.directory + "/" + name + " already exists; kept (--force replaces it)");
            return true;
          case WriteOutcome::Status::Failed:
            break;
        }
        const std::string reason = outcome.error_number == ENOSPC
                                       ? "no space left on device"
                                       : std::strerror(outcome.error_number);
        // Something in the way of this one name; any other failure (a full
        // disk, a read-only or vanished directory) would repeat for every file.
        const bool this_name_only = outcome.error_number == EISDIR || outcome.error_number == ENOTEMPTY;
        fail("cannot " + outcome.what + " " + options.directory + "/" + name + ": " + reason +
             (this_name_only ? "" : "; extraction stopped"));
        return this_name_only;
      });
  progress.clear();
  if (!ran) fail("cannot read the archive's files: " + ran.error().plain());
  if (interrupted_by != 0) {
    fail("interrupted; " + std::to_string(written_files) + " files were extracted");
    const int signal_number = interrupted_by;
    std::signal(signal_number, SIG_DFL);
    std::raise(signal_number);
    return EXIT_PROBLEM;
  }
  if (!options.quiet) {
    std::printf("extracted %llu of %zu files (%llu bytes) to %s\n",
                static_cast<unsigned long long>(written_files), selected.entries.size(),
                static_cast<unsigned long long>(written_bytes), options.directory.c_str());
  }
  return finish_stdout() ? status : EXIT_PROBLEM;
}

}  // namespace portal_dat
