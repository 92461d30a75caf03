// The compiled terminal description reader, parameter expansion, the search
// order, and the colour strings compared with the system's own tput.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "runner/terminfo.hpp"
#include "runner/terminfo_parse.hpp"
#include "unittests/support/env_guard.hpp"
#include "unittests/support/process.hpp"
#include "unittests/support/scratch_dir.hpp"

namespace {

namespace fs = std::filesystem;
namespace cap = runner::terminfo_cap;
using runner::expand_capability;
using runner::parse_terminfo;

// A compact description of a compiled file, turned into its bytes.
struct TermSpec {
  std::uint16_t magic = runner::TERMINFO_MAGIC_16;
  std::string names = "test|a test terminal";
  std::vector<std::uint8_t> booleans = {1, 0, 1};
  std::vector<std::int32_t> numbers;                // -1 for absent
  std::vector<std::optional<std::string>> strings;  // nullopt for absent
};

void put16(std::vector<std::uint8_t>& out, std::int32_t v) {
  out.push_back(static_cast<std::uint8_t>(v & 0xFF));
  out.push_back(static_cast<std::uint8_t>((v >> 8) & 0xFF));
}

std::vector<std::uint8_t> compile(const TermSpec& term) {
  std::vector<std::uint8_t> table;
  std::vector<std::int32_t> offsets;
  for (const auto& s : term.strings) {
    if (!s) {
      offsets.push_back(-1);
      continue;
    }
    offsets.push_back(static_cast<std::int32_t>(table.size()));
    table.insert(table.end(), s->begin(), s->end());
    table.push_back(0);
  }
  std::vector<std::uint8_t> out;
  put16(out, term.magic);
  put16(out, static_cast<std::int32_t>(term.names.size() + 1));
  put16(out, static_cast<std::int32_t>(term.booleans.size()));
  put16(out, static_cast<std::int32_t>(term.numbers.size()));
  put16(out, static_cast<std::int32_t>(offsets.size()));
  put16(out, static_cast<std::int32_t>(table.size()));
  out.insert(out.end(), term.names.begin(), term.names.end());
  out.push_back(0);
  out.insert(out.end(), term.booleans.begin(), term.booleans.end());
  if (out.size() % 2 != 0) out.push_back(0);
  for (std::int32_t n : term.numbers) {
    put16(out, n);
    if (term.magic == runner::TERMINFO_MAGIC_32) put16(out, n >> 16);
  }
  for (std::int32_t o : offsets) put16(out, o);
  out.insert(out.end(), table.begin(), table.end());
  return out;
}

// A colour terminal: colors, sgr0, op, setaf and setab at their positions.
TermSpec colour_spec(std::int32_t colors, std::uint16_t magic = runner::TERMINFO_MAGIC_16) {
  TermSpec term;
  term.magic = magic;
  term.numbers.assign(cap::MAX_COLORS + 1, -1);
  term.numbers[cap::MAX_COLORS] = colors;
  term.strings.assign(cap::SET_A_BACKGROUND + 1, std::nullopt);
  term.strings[cap::EXIT_ATTRIBUTE_MODE] = "\x1b[0m";
  term.strings[cap::ORIG_PAIR] = "\x1b[39;49m";
  term.strings[cap::SET_A_FOREGROUND] = "\x1b[3%p1%dm";
  term.strings[cap::SET_A_BACKGROUND] = "\x1b[4%p1%dm";
  return term;
}

TEST(ParseTerminfo, ReadsBothNumberFormats) {
  for (std::uint16_t magic : {runner::TERMINFO_MAGIC_16, runner::TERMINFO_MAGIC_32}) {
    TermSpec term = colour_spec(magic == runner::TERMINFO_MAGIC_32 ? 16777216 : 256, magic);
    term.numbers[0] = 80;
    const auto info = parse_terminfo(compile(term));
    ASSERT_TRUE(info.has_value()) << magic;
    EXPECT_EQ(info->names, (std::vector<std::string>{"test", "a test terminal"}));
    EXPECT_EQ(info->booleans, (std::vector<bool>{true, false, true}));
    EXPECT_EQ(info->number(0), std::optional<std::int32_t>(80));
    EXPECT_EQ(info->number(1), std::nullopt);
    EXPECT_EQ(info->number(cap::MAX_COLORS), term.numbers[cap::MAX_COLORS]);
    EXPECT_EQ(info->number(500), std::nullopt);
    ASSERT_NE(info->string(cap::SET_A_FOREGROUND), nullptr);
    EXPECT_EQ(*info->string(cap::SET_A_FOREGROUND), "\x1b[3%p1%dm");
    EXPECT_EQ(info->string(cap::SET_ATTRIBUTES), nullptr);
    EXPECT_EQ(info->string(9999), nullptr);
  }
}

TEST(ParseTerminfo, AlignsNumbersAfterAnOddHeader) {
  TermSpec term = colour_spec(8);
  term.names = "odd";  // 6 + 4 + 3 booleans = odd length before the numbers
  const auto info = parse_terminfo(compile(term));
  ASSERT_TRUE(info.has_value());
  EXPECT_EQ(info->number(cap::MAX_COLORS), std::optional<std::int32_t>(8));
}

TEST(ParseTerminfo, RejectsEveryTruncationAndBadHeader) {
  const std::vector<std::uint8_t> good = compile(colour_spec(8));
  ASSERT_TRUE(parse_terminfo(good).has_value());
  for (std::size_t len = 0; len < good.size(); ++len) {
    EXPECT_FALSE(parse_terminfo(std::span(good).first(len)).has_value()) << "length " << len;
  }
  const auto patched = [&](std::size_t at, std::uint8_t lo, std::uint8_t hi) {
    std::vector<std::uint8_t> bad = good;
    bad[at] = lo;
    bad[at + 1] = hi;
    return bad;
  };
  EXPECT_FALSE(parse_terminfo(patched(0, 0x1A, 0x03)).has_value());   // wrong magic
  EXPECT_FALSE(parse_terminfo(patched(2, 0xFF, 0xFF)).has_value());   // negative names size
  EXPECT_FALSE(parse_terminfo(patched(6, 0x00, 0x7F)).has_value());   // numbers past the end
  EXPECT_FALSE(parse_terminfo(patched(10, 0xFF, 0x7F)).has_value());  // table past the end

  // A string offset outside the table, and a table without the last NUL.
  std::vector<std::uint8_t> no_nul = good;
  no_nul.back() = 'x';
  EXPECT_FALSE(parse_terminfo(no_nul).has_value());

  TermSpec far = colour_spec(8);
  far.strings.push_back("y");
  std::vector<std::uint8_t> far_bytes = compile(far);
  // The last offset is the 2 bytes before the table; point it past the table.
  std::size_t table_size = 0;
  for (const auto& s : far.strings) table_size += s ? s->size() + 1 : 0;
  const std::size_t last_offset = far_bytes.size() - table_size - 2;
  far_bytes[last_offset] = 0x00;
  far_bytes[last_offset + 1] = 0x40;
  EXPECT_FALSE(parse_terminfo(far_bytes).has_value());
  far_bytes[last_offset] = 0xFD;  // -3: neither absent nor cancelled
  far_bytes[last_offset + 1] = 0xFF;
  EXPECT_FALSE(parse_terminfo(far_bytes).has_value());
  far_bytes[last_offset] = 0xFE;  // -2: cancelled
  EXPECT_TRUE(parse_terminfo(far_bytes).has_value());
}

TEST(ParseTerminfo, SurvivesGarbage) {
  // Deterministic pseudo-random inputs, some with a valid magic number: the
  // reader must never read out of bounds (run under the sanitizers too).
  std::uint64_t x = 0x9E3779B97F4A7C15ULL;
  for (int round = 0; round < 2000; ++round) {
    std::vector<std::uint8_t> data(static_cast<std::size_t>(round % 97));
    for (auto& b : data) {
      x ^= x << 13;
      x ^= x >> 7;
      x ^= x << 17;
      b = static_cast<std::uint8_t>(x);
    }
    if (data.size() >= 2 && round % 2 == 0) {
      data[0] = 0x1A;
      data[1] = 0x01;
    }
    if (data.size() >= 12 && round % 4 == 0) {
      for (std::size_t i = 3; i < 12; i += 2) data[i] = 0;  // small counts
    }
    const auto info = parse_terminfo(data);
    if (!info) continue;
    // Whatever is accepted has a full header with a known magic number and
    // sections that fit in the data.
    ASSERT_GE(data.size(), 12u);
    const unsigned magic = data[0] | (data[1] << 8);
    EXPECT_TRUE(magic == runner::TERMINFO_MAGIC_16 || magic == runner::TERMINFO_MAGIC_32);
    EXPECT_EQ(info->booleans.size(), static_cast<std::size_t>(data[4] | (data[5] << 8)));
    EXPECT_LE(info->booleans.size() + info->numbers.size() * 2 + info->strings.size() * 2, data.size());
  }
}

TEST(ExpandCapability, Operators) {
  const struct {
    std::string cap;
    std::vector<int> params;
    std::optional<std::string> expected;
  } cases[] = {
      {"\x1b[3%p1%dm", {1}, "\x1b[31m"},
      {"%p1%p2%+%d", {3, 4}, "7"},
      {"%p1%p2%-%d", {3, 4}, "-1"},
      {"%p1%p2%*%d %p1%p2%/%d %p2%p1%m%d", {3, 7}, "21 0 1"},
      {"%p1%{0}%/%d", {5}, "0"},
      {"%p1%{12}%&%d %p1%{12}%|%d %p1%{12}%^%d", {10}, "8 14 6"},
      {"%p1%{2}%=%d%p1%{2}%<%d%p1%{2}%>%d", {2}, "100"},
      {"%p1%!%d %p1%~%d", {0}, "1 -1"},
      {"%p1%p2%A%d%p1%p2%O%d", {0, 5}, "01"},
      {"%i%p1%d;%p2%d", {0, 9}, "1;10"},
      {"%'A'%c%p1%c", {66}, "AB"},
      {"%{65}%PA%gA%c%p1%Pz%gz%d", {9}, "A9"},
      {"%p1%02d|%p1%3d|%p1%:-3d|%p1%x|%p1%X|%p1%o|%p1%#x", {10}, "10| 10|10 |a|A|12|0xa"},
      {"100%%", {}, "100%"},
      {"a$<5>b$<2*/>c$<x>", {}, "abc$<x>"},
      // The 256-colour form: three branches.
      {"\x1b[%?%p1%{8}%<%t3%p1%d%e%p1%{16}%<%t9%p1%{8}%-%d%e38;5;%p1%d%;m", {1}, "\x1b[31m"},
      {"\x1b[%?%p1%{8}%<%t3%p1%d%e%p1%{16}%<%t9%p1%{8}%-%d%e38;5;%p1%d%;m", {9}, "\x1b[91m"},
      {"\x1b[%?%p1%{8}%<%t3%p1%d%e%p1%{16}%<%t9%p1%{8}%-%d%e38;5;%p1%d%;m", {200}, "\x1b[38;5;200m"},
      // Nested conditionals inside a skipped branch.
      {"%?%p1%t%?%p2%tA%eB%;%eC%;", {0, 1}, "C"},
      {"%?%p1%t%?%p2%tA%eB%;%eC%;", {1, 0}, "B"},
      {"%?%p1%t%?%p2%tA%eB%;%eC%;", {1, 1}, "A"},
      {"%?%p1%tX%;Y", {0}, "Y"},
      // Malformed capabilities give nothing.
      {"%d", {}, std::nullopt},
      {"%p0", {}, std::nullopt},
      {"%z", {}, std::nullopt},
      {"%{12", {}, std::nullopt},
      {"%'A", {}, std::nullopt},
      {"%p1%s", {1}, std::nullopt},
      {"%?%p1%tA", {0}, std::nullopt},
      {"%", {}, std::nullopt},
      {"%p1%9999d", {1}, std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(expand_capability(c.cap, c.params), c.expected) << c.cap;
  }
}

TEST(ColorsFromTerminfo, NeedsSetafSetabAndEnoughColours) {
  {
    const auto colors = runner::colors_from_terminfo(*parse_terminfo(compile(colour_spec(8))));
    EXPECT_EQ(colors.red, std::optional<std::string>("\x1b[31m"));
    EXPECT_EQ(colors.green, std::optional<std::string>("\x1b[32m"));
    EXPECT_EQ(colors.yellow, std::optional<std::string>("\x1b[33m"));
    EXPECT_EQ(colors.reset, "\x1b[0m");
  }
  {
    // Three colours: 0, 1 and 2 only.
    const auto colors = runner::colors_from_terminfo(*parse_terminfo(compile(colour_spec(3))));
    EXPECT_TRUE(colors.red && colors.green);
    EXPECT_FALSE(colors.yellow);
  }
  {
    TermSpec term = colour_spec(8);
    term.strings[cap::SET_A_BACKGROUND].reset();
    const auto colors = runner::colors_from_terminfo(*parse_terminfo(compile(term)));
    EXPECT_FALSE(colors.red || colors.green || colors.yellow);
  }
  {
    TermSpec term = colour_spec(8);
    term.numbers[cap::MAX_COLORS] = -1;
    const auto colors = runner::colors_from_terminfo(*parse_terminfo(compile(term)));
    EXPECT_FALSE(colors.red);
  }
  {
    // Reset falls back from sgr0 to sgr (expanded with zero parameters) to op.
    TermSpec term = colour_spec(8);
    term.strings[cap::EXIT_ATTRIBUTE_MODE].reset();
    term.strings[cap::SET_ATTRIBUTES] = "\x1b[0%?%p1%t;7%;m";
    EXPECT_EQ(runner::colors_from_terminfo(*parse_terminfo(compile(term))).reset, "\x1b[0m");
    term.strings[cap::SET_ATTRIBUTES].reset();
    EXPECT_EQ(runner::colors_from_terminfo(*parse_terminfo(compile(term))).reset, "\x1b[39;49m");
    // With no way to reset, no colour is offered.
    term.strings[cap::ORIG_PAIR].reset();
    const auto colors = runner::colors_from_terminfo(*parse_terminfo(compile(term)));
    EXPECT_FALSE(colors.red || colors.green || colors.yellow);
  }
}

using test_support::ScratchDir;

void write_file(const fs::path& path, const std::vector<std::uint8_t>& data) {
  fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
}

struct TermEnv : test_support::EnvGuard {
  TermEnv() {
    unset("TERMINFO");
    unset("TERMINFO_DIRS");
  }
};

TEST(FindTerminfo, SearchOrder) {
  const ScratchDir tmp("runner_formats");
  const auto data = compile(colour_spec(8));
  write_file(tmp.path() / "env" / "m" / "myterm", data);
  write_file(tmp.path() / "dirs1" / "6d" / "myterm", data);  // hex subdirectory
  write_file(tmp.path() / "dirs2" / "m" / "myterm", data);
  write_file(tmp.path() / "home" / ".terminfo" / "m" / "myterm", data);
  write_file(tmp.path() / "home" / ".terminfo" / "o" / "other", data);

  TermEnv env;
  env.set("HOME", (tmp.path() / "home").string());
  env.set("TERMINFO", (tmp.path() / "env").string());
  env.set("TERMINFO_DIRS", (tmp.path() / "dirs1").string() + ":" + (tmp.path() / "dirs2").string());
  EXPECT_EQ(runner::find_terminfo("myterm"), tmp.path() / "env" / "m" / "myterm");

  env.unset("TERMINFO");
  EXPECT_EQ(runner::find_terminfo("myterm"), tmp.path() / "dirs1" / "6d" / "myterm");
  // TERMINFO_DIRS replaces the home directory and the system directories.
  EXPECT_EQ(runner::find_terminfo("other"), std::nullopt);
  // An empty entry stands for /usr/share/terminfo.
  env.set("TERMINFO_DIRS", ":" + (tmp.path() / "dirs2").string());
  EXPECT_EQ(runner::find_terminfo("myterm"), tmp.path() / "dirs2" / "m" / "myterm");

  env.unset("TERMINFO_DIRS");
  EXPECT_EQ(runner::find_terminfo("myterm"), tmp.path() / "home" / ".terminfo" / "m" / "myterm");
  EXPECT_EQ(runner::find_terminfo("other"), tmp.path() / "home" / ".terminfo" / "o" / "other");
  EXPECT_EQ(runner::find_terminfo("no-such-terminal-here"), std::nullopt);
  EXPECT_EQ(runner::find_terminfo(""), std::nullopt);
  EXPECT_EQ(runner::find_terminfo("../o/other"), std::nullopt);
}

TEST(TerminalColorsFromEnv, MissingOrBrokenDescriptionsGivePlainOutput) {
  const ScratchDir tmp("runner_formats");
  write_file(tmp.path() / "b" / "broken", {0x1A, 0x01, 0x05});
  write_file(tmp.path() / "g" / "good", compile(colour_spec(8)));
  TermEnv env;
  env.set("TERMINFO_DIRS", tmp.path().string());
  env.unset("TERM");
  EXPECT_FALSE(runner::terminal_colors_from_env().has_value());
  env.set("TERM", "broken");
  EXPECT_FALSE(runner::terminal_colors_from_env().has_value());
  env.set("TERM", "absent");
  EXPECT_FALSE(runner::terminal_colors_from_env().has_value());
  env.set("TERM", "good");
  const auto colors = runner::terminal_colors_from_env();
  ASSERT_TRUE(colors.has_value());
  EXPECT_EQ(colors->red, std::optional<std::string>("\x1b[31m"));
}

// The system's tput output for `args` under terminal `term`.
std::optional<std::string> tput(const std::string& term, const std::vector<std::string>& args) {
  const std::string program = test_support::find_program("tput");
  if (program.empty()) return std::nullopt;
  std::vector<std::string> argv = {program, "-T", term};
  argv.insert(argv.end(), args.begin(), args.end());
  const auto result = test_support::run_process(argv);
  if (result.status != 0) return std::nullopt;  // no such capability
  return result.out;
}

TEST(TerminalColorsFromEnv, MatchSystemTput) {
  if (test_support::find_program("tput").empty()) GTEST_SKIP() << "tput not found";
  TermEnv env;
  env.unset("TERMINFO_DIRS");
  int compared = 0;
  for (const char* term : {"xterm-256color", "xterm", "linux", "screen", "vt100"}) {
    SCOPED_TRACE(term);
    env.set("TERM", term);
    if (!runner::find_terminfo(term)) continue;  // not installed here
    const auto colors = runner::terminal_colors_from_env();
    ASSERT_TRUE(colors.has_value());
    EXPECT_EQ(std::optional<std::string>(colors->reset), tput(term, {"sgr0"}));
    const bool has_colour =
        tput(term, {"setab", "1"}).has_value() && tput(term, {"setaf", "1"}).has_value();
    const std::optional<std::string> slots[] = {colors->red, colors->green, colors->yellow};
    for (int n = 1; n <= 3; ++n) {
      if (has_colour) {
        EXPECT_EQ(slots[n - 1], tput(term, {"setaf", std::to_string(n)})) << "colour " << n;
      } else {
        EXPECT_EQ(slots[n - 1], std::nullopt) << "colour " << n;
      }
    }
    ++compared;
  }
  if (compared == 0) GTEST_SKIP() << "none of the terminal descriptions is installed";
}

}  // namespace

TEST(HomeFromPasswd, PicksTheDirectoryOfTheMatchingUid) {
  const std::string_view passwd =
      "root:x:0:0:root:/root:/bin/bash\n"
      "# a comment line has too few fields\n"
      "odd:x:12a:0::/not/a/uid:/bin/sh\n"
      "nodir:x:7:7:::/bin/sh\n"
      "ana:x:1000:1000:Ana,,,:/home/ana:/bin/zsh\n"
      "short:x:2000\n"
      "last:x:3000:3000::/srv/last";  // no newline after the last line
  EXPECT_EQ(runner::home_from_passwd(passwd, 0), std::filesystem::path("/root"));
  EXPECT_EQ(runner::home_from_passwd(passwd, 1000), std::filesystem::path("/home/ana"));
  EXPECT_EQ(runner::home_from_passwd(passwd, 3000), std::filesystem::path("/srv/last"));
  // An empty directory, a malformed uid and a truncated line give nothing.
  EXPECT_EQ(runner::home_from_passwd(passwd, 7), std::nullopt);
  EXPECT_EQ(runner::home_from_passwd(passwd, 12), std::nullopt);
  EXPECT_EQ(runner::home_from_passwd(passwd, 2000), std::nullopt);
  EXPECT_EQ(runner::home_from_passwd("", 0), std::nullopt);
}
