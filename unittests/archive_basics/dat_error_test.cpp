#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include "quorvane_dat/error/dat_error.hpp"

namespace quorvane_dat {
namespace {

struct TextCase {
  const char* label;
  DatError error;
  std::string display;
  std::string debug;
};

TEST(DatError, DisplayAndDebugOfEveryKind) {
  const std::vector<TextCase> cases = {
      {"Io", DatError(IoError::unexpected_eof()), "IO error: failed to fill whole buffer",
       "Io(Error { kind: UnexpectedEof, message: \"failed to fill whole buffer\" })"},
      {"Io os", DatError(IoError::from_os(EACCES)), "IO error: Permission denied (os error 13)",
       "Io(Os { code: 13, kind: PermissionDenied, message: \"Permission denied\" })"},
      {"BinRead bare", DatError(ParseError(IoError::not_enough_bytes())),
       "Binary read error: not enough bytes in reader", "BinRead(not enough bytes in reader)"},
      {"NotFound", DatError(DatError::NotFound{0x30000000}), "File ID 30000000 not found in provider",
       "NotFound(805306368)"},
      {"NotFound 0", DatError(DatError::NotFound{0}), "File ID 00000000 not found in provider",
       "NotFound(0)"},
      {"NotFound max", DatError(DatError::NotFound{0xFFFFFFFF}),
       "File ID FFFFFFFF not found in provider", "NotFound(4294967295)"},
      {"NotFound short", DatError(DatError::NotFound{0xAB}), "File ID 000000AB not found in provider",
       "NotFound(171)"},
      {"DuplicateId", DatError(DatError::DuplicateId{0x0600001F}), "Duplicate File ID 0600001F detected",
       "DuplicateId(100663327)"},
      {"DuplicateNamespacedId", DatError(DatError::DuplicateNamespacedId{"portal", 0x1A}),
       "Duplicate namespaced file portal:0000001A detected",
       "DuplicateNamespacedId { namespace: \"portal\", file_id: 26 }"},
      {"InvalidMagic", DatError(DatError::InvalidMagic{"TB"}), "Invalid magic for format: TB",
       "InvalidMagic(\"TB\")"},
      {"UnsupportedVersion", DatError(DatError::UnsupportedVersion{255}), "Unsupported version: 255",
       "UnsupportedVersion(255)"},
      {"InvalidNamespace", DatError(DatError::InvalidNamespace{"a\"b"}), "Invalid namespace: a\"b",
       "InvalidNamespace(\"a\\\"b\")"},
      {"Corruption", DatError(DatError::Corruption{"line1\nline2\ttab"}),
       "Corruption detected: line1\nline2\ttab", "Corruption(\"line1\\nline2\\ttab\")"},
      {"DecompressionFailed", DatError(DatError::DecompressionFailed{0x30000000}),
       "Failed to recover compressed file 30000000", "DecompressionFailed(805306368)"},
      {"PathError", DatError(DatError::PathError{"/tmp/x.dat", IoError::from_os(ENOENT)}),
       "Failed to open file at /tmp/x.dat: No such file or directory (os error 2)",
       "PathError { path: \"/tmp/x.dat\", source: Os { code: 2, kind: NotFound, message: "
       "\"No such file or directory\" } }"},
      {"Other", DatError(DatError::Other{"back\\slash"}), "Other error: back\\slash",
       "Other(\"back\\\\slash\")"},
  };
  for (const TextCase& c : cases) {
    SCOPED_TRACE(c.label);
    EXPECT_EQ(c.error.display(), c.display);
    EXPECT_EQ(c.error.debug(), c.debug);
  }
}

TEST(DatError, ConversionsKeepTheCarriedErrorWhole) {
  const ParseError parse =
      ParseError(IoError::unexpected_eof()).with_field({"CombatManeuverTable", "id", "src/x.hpp", 7});
  const DatError from_parse = parse;
  ASSERT_NE(from_parse.as<DatError::BinRead>(), nullptr);
  EXPECT_EQ(from_parse.as<DatError::BinRead>()->error, parse);
  EXPECT_EQ(from_parse.display(), "Binary read error: " + parse.report());
  EXPECT_EQ(from_parse.debug(), "BinRead(" + parse.report() + ")");

  const DatError from_io = IoError::from_os(EISDIR);
  ASSERT_NE(from_io.as<DatError::Io>(), nullptr);
  EXPECT_EQ(from_io.as<DatError::Io>()->error, IoError::from_os(EISDIR));
}

// One plain line: frames as parenthesised messages, no source paths, and
// control characters of any text (escape sequences, line breaks) as '?'.
TEST(DatError, PlainIsOneLineWithoutFramesPathsOrControls) {
  const ParseError parse = ParseError(IoError::unexpected_eof())
                               .with_field({"CombatManeuver", "motion", "src/x.hpp", 7})
                               .with_field({"CombatManeuverTable", "combat_maneuvers", "src/x.hpp", 9});
  EXPECT_EQ(
      DatError(parse).plain(),
      "Binary read error: failed to fill whole buffer (while parsing field 'motion' in CombatManeuver; "
      "while parsing field 'combat_maneuvers' in CombatManeuverTable)");
  EXPECT_EQ(DatError(ParseError(IoError::not_enough_bytes())).plain(),
            "Binary read error: not enough bytes in reader");
  EXPECT_EQ(DatError(DatError::PathError{"/tmp/a\x1b[1m\nb", IoError::from_os(ENOENT)}).plain(),
            "Failed to open file at /tmp/a?[1m?b: No such file or directory (os error 2)");
  EXPECT_EQ(DatError(DatError::NotFound{0x30000000}).plain(),
            DatError(DatError::NotFound{0x30000000}).display());
}

TEST(DatError, PathErrorForAMissingFileFromARealOpen) {
  const std::string path = "/nonexistent-quorvane-dir/portal.dat";
  ASSERT_EQ(::open(path.c_str(), O_RDONLY | O_CLOEXEC), -1);
  const int code = errno;
  const DatError error = DatError::PathError{path, IoError::from_os(code)};
  EXPECT_EQ(error.display(),
            "Failed to open file at " + path + ": No such file or directory (os error 2)");
  EXPECT_EQ(error.debug(), "PathError { path: \"" + path +
                               "\", source: Os { code: 2, kind: NotFound, message: \"No such file "
                               "or directory\" } }");
}

TEST(DatError, PathsWithQuotesControlsAndInvalidUtf8) {
  struct PathCase {
    std::string raw;
    std::string display;
    std::string debug;
  };
  const std::vector<PathCase> cases = {
      {"a\"b\\c", "a\"b\\c", "\"a\\\"b\\\\c\""},
      {"t\tr\rn\n", "t\tr\rn\n", "\"t\\tr\\rn\\n\""},
      {"bell\x07"
       "esc\x1b"
       "del\x7f",
       "bell\x07"
       "esc\x1b"
       "del\x7f",
       "\"bell\\u{7}esc\\u{1b}del\\u{7f}\""},
      {std::string("nul\0x", 5), std::string("nul\0x", 5), "\"nul\\u{0}x\""},
      {"caf\xc3\xa9", "caf\xc3\xa9", "\"caf\xc3\xa9\""},
      {"c1\xc2\x85", "c1\xc2\x85", "\"c1\\u{85}\""},
      {"bad\xff\xfe", "bad\xef\xbf\xbd\xef\xbf\xbd", "\"bad\\xFF\\xFE\""},
      // A truncated three-byte sequence is one ill-formed unit: one U+FFFD.
      {"cut\xe2\x82", "cut\xef\xbf\xbd", "\"cut\\xE2\\x82\""},
      {"cut\xe2\x82z", "cut\xef\xbf\xbdz", "\"cut\\xE2\\x82z\""},
      // Overlong and surrogate encodings are not valid UTF-8.
      {"\xc0\xaf", "\xef\xbf\xbd\xef\xbf\xbd", "\"\\xC0\\xAF\""},
      {"\xed\xa0\x80", "\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd", "\"\\xED\\xA0\\x80\""},
      {"\xf0\x9f\x98\x80", "\xf0\x9f\x98\x80", "\"\xf0\x9f\x98\x80\""},
  };
  for (const PathCase& c : cases) {
    SCOPED_TRACE(c.debug);
    const std::filesystem::path path(c.raw);
    EXPECT_EQ(display_path(path), c.display);
    EXPECT_EQ(debug_quote_path(path), c.debug);
    const DatError error = DatError::PathError{path, IoError::from_os(ENOENT)};
    EXPECT_EQ(error.display(),
              "Failed to open file at " + c.display + ": No such file or directory (os error 2)");
    EXPECT_EQ(error.debug(), "PathError { path: " + c.debug +
                                 ", source: Os { code: 2, kind: NotFound, message: \"No such file "
                                 "or directory\" } }");
  }
}

TEST(DatError, TextQuotingEscapesLikePaths) {
  EXPECT_EQ(debug_quote_text(""), "\"\"");
  EXPECT_EQ(debug_quote_text("it's"), "\"it's\"");
  EXPECT_EQ(debug_quote_text("x\x01y"), "\"x\\u{1}y\"");
  EXPECT_EQ(DatError(DatError::InvalidMagic{"\xff"}).debug(), "InvalidMagic(\"\\xFF\")");
}

}  // namespace
}  // namespace quorvane_dat
