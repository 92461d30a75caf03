// extract: the selected entries' decoded bytes, each to DIR/<id>.bin.
#include <signal.h>
#include <CLI/CLI.hpp>

#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>
#include <utility>
#include <vector>

#include "quorvane_dat/lib/batch_reader.hpp"
#include "tools/portal_dat/commands.hpp"
#include "tools/portal_dat/common_options.hpp"
#include "tools/portal_dat/output_dir.hpp"
#include "tools/portal_dat/progress_line.hpp"
#include "tools/portal_dat/tool_output.hpp"
#include "tools/portal_dat/writer_pool.hpp"

namespace portal_dat {

namespace {

struct ExtractOptions : ThreadOptions {
  std::string archive;
  SelectionArgs selection;
  std::string directory;
  bool force = false;
  bool quiet = false;
  bool salvage = false;

  void add_to(CLI::App& command) {
    add_archive(command, archive);
    add_selection(command, selection);
    command.add_option("-o,--output", directory, "the directory to write into")->required();
    command.add_flag("--force", force, "replace files that exist already");
    command.add_flag("-q,--quiet", quiet, "no progress line and no summary");
    add_salvage(command, salvage, "extract files");
    add_threads(command, *this);
  }
};

// Read by the writer threads too; a lock-free atomic may be set in a handler.
std::atomic<int> interrupted_by{0};
static_assert(std::atomic<int>::is_always_lock_free);

extern "C" void note_interruption(int signal_number) { interrupted_by.store(signal_number); }

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
  // Guards the progress line, the error lines, the status and the counts,
  // which the writer threads share with the reading thread.
  std::mutex report_mutex;
  // Reports a failure; with report_mutex held.
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
  // Set once a failure that would repeat for every file (a full disk, a
  // vanished directory) has been reported: nothing more is written.
  std::atomic<bool> stopped{false};
  const InterruptGuard guard;
  // A file whose chain loops or whose body decodes short is not written
  // unless --salvage; either way it is reported.
  const auto refuse = [&](const std::string& id, const std::string& problem) {
    const std::lock_guard lock(report_mutex);
    fail(id + ": " + problem + "; not extracted (--salvage writes what is read)");
  };
  // Counts or reports how writing one file ended (with report_mutex held);
  // false when extraction stops.
  const auto settle = [&](const WriteOutcome& outcome, const std::string& id, const std::string& name,
                          const std::string& problem, std::uint64_t size) {
    switch (outcome.status) {
      case WriteOutcome::Status::Written:
        ++written_files;
        written_bytes += size;
        if (!problem.empty()) fail(id + ": " + problem + "; extracted as read (--salvage)");
        return true;
      case WriteOutcome::Status::Exists:
        fail(options.directory + "/" + name + " already exists; kept (--force replaces it)");
        return true;
      case WriteOutcome::Status::Failed: break;
    }
    // Something in the way of this one name; any other failure (a full
    // disk, a read-only or vanished directory) would repeat for every file,
    // and is reported once, by the writer that met it first.
    const bool this_name_only = outcome.error_number == EISDIR || outcome.error_number == ENOTEMPTY;
    if (!this_name_only && stopped.exchange(true)) return false;
    const std::string reason =
        outcome.error_number == ENOSPC ? "no space left on device" : std::strerror(outcome.error_number);
    fail("cannot " + outcome.what + " " + options.directory + "/" + name + ": " + reason +
         (this_name_only ? "" : "; extraction stopped"));
    return this_name_only;
  };
  // Files held whole are written by the writer threads while the archive is
  // still being read (on one thread, by the reading thread itself), within
  // 8 MiB of copies; the order in which files are finished does not matter,
  // each is complete or absent.
  const unsigned writers = batch.threads != 0 ? batch.threads : available_processors();
  WriterPool pool(writers, std::size_t{8} << 20, [&](WriteJob& job) {
    if (stopped.load() || interrupted_by.load() != 0) return;
    const WriteOutcome outcome = directory->write_file(job.name, job.bytes, options.force);
    const std::lock_guard lock(report_mutex);
    settle(outcome, job.id, job.name, job.problem, job.bytes.size());
  });
  // Writes a file that comes as a stream, piece by piece, into its unnamed or
  // temporary file; nullopt when it was refused or could not be read (and
  // has been reported), or extraction was interrupted.
  const auto write_stream =
      [&](quorvane_dat::FileStream& stream, const std::string& id,
          const std::string& name) -> std::optional<std::pair<WriteOutcome, std::uint64_t>> {
    PendingFile pending;
    std::uint64_t count = 0;
    if (WriteOutcome started = directory->start(name, options.force, pending);
        started.status != WriteOutcome::Status::Written) {
      return std::pair{started, count};
    }
    for (;;) {
      auto piece = stream.next();
      if (!piece || interrupted_by.load() != 0 || (!options.salvage && stream.chain_loops())) {
        directory->abandon(pending);
        if (!piece) {
          const std::lock_guard lock(report_mutex);
          fail(id + ": " + piece.error().plain());
        }
        if (piece && interrupted_by.load() == 0) refuse(id, content_problem(true, false));
        return std::nullopt;
      }
      if (piece->empty()) break;
      if (WriteOutcome appended = directory->append(pending, *piece);
          appended.status != WriteOutcome::Status::Written) {
        return std::pair{appended, count};
      }
      count += piece->size();
    }
    if (!options.salvage && stream.findings().short_output) {
      directory->abandon(pending);
      refuse(id, content_problem(false, true));
      return std::nullopt;
    }
    return std::pair{directory->finish(pending), count};
  };
  const auto ran = quorvane_dat::read_batch(
      *database, selected.entries, batch, [&](const quorvane_dat::BatchFile& file) {
        if (interrupted_by.load() != 0 || stopped.load()) return false;
        {
          const std::lock_guard lock(report_mutex);
          progress.advance(file.entry->size);
        }
        std::string id = hex8(file.entry->id);
        std::string name = id + ".bin";
        if (file.error != nullptr) {
          const std::lock_guard lock(report_mutex);
          fail(id + ": " + file.error->plain());
          return true;
        }
        if (file.stream != nullptr) {
          const auto streamed = write_stream(*file.stream, id, name);
          if (!streamed) return interrupted_by.load() == 0;
          const std::string problem =
              content_problem(file.stream->chain_loops(), file.stream->findings().short_output);
          const std::lock_guard lock(report_mutex);
          return settle(streamed->first, id, name, problem, streamed->second);
        }
        std::string problem = content_problem(file.chain_loops, file.findings.short_output);
        if (!problem.empty() && !options.salvage) {
          refuse(id, problem);
          return true;
        }
        if (pool.threaded()) {
          std::vector<std::uint8_t> copy;
          try {
            copy.assign(file.bytes.begin(), file.bytes.end());
          } catch (const std::bad_alloc&) {
            copy.clear();  // written from the batch's own bytes below
          }
          if (copy.size() == file.bytes.size()) {
            pool.add(WriteJob{std::move(id), std::move(name), std::move(copy), std::move(problem)});
            return !stopped.load();
          }
        }
        const WriteOutcome outcome = directory->write_file(name, file.bytes, options.force);
        const std::lock_guard lock(report_mutex);
        return settle(outcome, id, name, problem, file.bytes.size());
      });
  pool.finish();
  progress.clear();
  if (!ran) fail("cannot read the archive's files: " + ran.error().plain());
  if (interrupted_by.load() != 0) {
    fail("interrupted; " + std::to_string(written_files) + " files were extracted");
    const int signal_number = interrupted_by.load();
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

}  // namespace

RunCommand add_extract_command(CLI::App& command) { return command_for(command, run_extract); }

}  // namespace portal_dat
