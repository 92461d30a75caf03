// The findings of verify: each a severity, a stable code, what it concerns
// (a file, a directory node or the archive as a whole), a byte offset and a
// message; printed one line (or one JSON object) each, as they are found.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "tools/portal_dat/progress_line.hpp"

namespace portal_dat {

// The codes, one per kind of finding. They are part of the tool's output and
// documented in the README: never rename one.
namespace finding_code {
// Problems.
inline constexpr std::string_view CHAIN_LOOP = "chain-loop";
inline constexpr std::string_view RANGE_SHARED = "range-shared";
inline constexpr std::string_view RESERVED_RANGE = "reserved-range";
inline constexpr std::string_view UNREADABLE_CHAIN = "unreadable-chain";
inline constexpr std::string_view SHORT_DECODE = "short-decode";
inline constexpr std::string_view BAD_BACK_REFERENCE = "bad-back-reference";
inline constexpr std::string_view TRUNCATED = "truncated";
inline constexpr std::string_view ROOT_OFFSET = "root-offset";
inline constexpr std::string_view BLOCK_SIZE = "block-size";
inline constexpr std::string_view DIRECTORY_UNREADABLE = "directory-unreadable";
// Warnings.
inline constexpr std::string_view TRAILING_BYTES = "trailing-bytes";
inline constexpr std::string_view DUPLICATE_ID = "duplicate-id";
}  // namespace finding_code

enum class Severity { Problem, Warning };

// What a finding concerns: a file by id, a directory node by the offset of its
// first block, or the archive as a whole (its header, its length).
struct Subject {
  enum class Kind : std::uint8_t { Archive, File, Node };
  Kind kind = Kind::Archive;
  std::uint32_t key = 0;

  static Subject archive() noexcept { return {}; }
  static Subject file(std::uint32_t id) noexcept { return {Kind::File, id}; }
  static Subject node(std::uint32_t offset) noexcept { return {Kind::Node, offset}; }

  // "file 0A000001", "node 0x00001234", "archive".
  std::string label() const;
  friend bool operator==(const Subject&, const Subject&) = default;
};

struct Finding {
  Severity severity = Severity::Problem;
  std::string_view code;
  Subject subject;
  std::uint64_t offset = 0;
  // The second owner of shared bytes, or the other node of a duplicate id.
  std::optional<Subject> with;
  std::string message;
};

// Prints each finding as it comes and counts problems and warnings.
//
// Text:  SEVERITY: CODE: SUBJECT: offset 0xOFFSET: MESSAGE
//        problem: range-shared: file 01000002: offset 0x00000A00: ...
// JSON:  {"severity":"problem","code":"range-shared","id":"01000002",
//         "offset":2560,"with_node":4608,"message":"..."}
// (a node's subject is "node" with its offset as a number; the archive's has
// neither "id" nor "node").
class FindingLog {
 public:
  FindingLog(bool json, ProgressLine* progress) : json_(json), progress_(progress) {}

  void add(const Finding& finding);
  void problem(std::string_view code, Subject subject, std::uint64_t offset, std::string message,
               std::optional<Subject> with = std::nullopt);
  void warning(std::string_view code, Subject subject, std::uint64_t offset, std::string message,
               std::optional<Subject> with = std::nullopt);

  std::uint64_t problems() const noexcept { return problems_; }
  std::uint64_t warnings() const noexcept { return warnings_; }

  // The text line of a finding, without its line break.
  static std::string text_line(const Finding& finding);
  // The JSON object of a finding.
  static std::string json_line(const Finding& finding);

 private:
  bool json_;
  ProgressLine* progress_;
  std::uint64_t problems_ = 0;
  std::uint64_t warnings_ = 0;
};

// "0x" and at least 8 upper-case hexadecimal digits.
std::string hex_offset(std::uint64_t offset);

}  // namespace portal_dat
