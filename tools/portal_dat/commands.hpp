// The commands of portal_dat, each with the options its command line fills.
#pragma once

#include <string>

#include "tools/portal_dat/selection.hpp"

namespace portal_dat {

// Exit statuses: all went well, a problem was found or something failed, and
// a command line that cannot be run.
inline constexpr int EXIT_OK = 0;
inline constexpr int EXIT_PROBLEM = 1;
inline constexpr int EXIT_USAGE = 2;

enum class SortKey { Id, Offset, Size };

struct InfoOptions {
  std::string archive;
  bool json = false;
};

struct LsOptions {
  std::string archive;
  SelectionArgs selection;
  SortKey sort = SortKey::Id;
  bool json = false;
};

struct CatOptions {
  std::string archive;
  std::string id;
  bool raw = false;
  bool force = false;
  bool salvage = false;
};

struct ExtractOptions {
  std::string archive;
  SelectionArgs selection;
  std::string directory;
  bool force = false;
  bool quiet = false;
  bool salvage = false;
  bool verbose = false;
  unsigned threads = 0;
};

struct VerifyOptions {
  std::string archive;
  bool json = false;
  bool quiet = false;
  bool strict = false;  // warnings make the exit status 1 as problems do
  bool verbose = false;
  unsigned threads = 0;
};

struct TreeOptions {
  std::string archive;
};

struct CmtOptions {
  std::string archive;
  bool json = false;
};

struct DiffOptions {
  std::string old_archive;
  std::string new_archive;
  SelectionArgs selection;
  bool metadata = false;
  bool json = false;
  bool stat = false;
  bool records = false;
  bool verbose = false;
  unsigned threads = 0;
};

struct SumOptions {
  std::string archive;
  SelectionArgs selection;
  std::string check;  // the manifest to check against; empty: write one
  bool quiet = false;
  bool strict = false;
  bool verbose = false;
  unsigned threads = 0;
};

// Each returns the process's exit status.
int run_info(const InfoOptions& options);
int run_ls(const LsOptions& options);
int run_cat(const CatOptions& options);
int run_extract(const ExtractOptions& options);
int run_verify(const VerifyOptions& options);
int run_tree(const TreeOptions& options);
int run_cmt(const CmtOptions& options);
// diff: 0 no difference, 1 differences, 2 trouble.
int run_diff(const DiffOptions& options);
int run_sum(const SumOptions& options);

}  // namespace portal_dat
