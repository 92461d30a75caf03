// SipHash-1-3 against an independent implementation, the shuffle permutation,
// and the shuffle seed.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "runner/shuffle.hpp"
#include "unittests/support/env_guard.hpp"
#include "unittests/support/process.hpp"

namespace {

using test_support::find_program;

std::vector<std::uint8_t> bytes_of(const std::string& s) { return {s.begin(), s.end()}; }

// Runs a Python script with hash randomisation off, where hash(bytes) is
// SipHash-1-3 keyed with zeros. Skips the test when python3 is missing.
std::string run_python(const std::string& script, const std::vector<std::string>& args) {
  const std::string python = find_program("python3");
  if (python.empty()) return {};
  std::vector<std::string> argv = {python, "-c", script};
  argv.insert(argv.end(), args.begin(), args.end());
  test_support::ProcessOptions options;
  options.env["PYTHONHASHSEED"] = "0";
  const auto result = test_support::run_process(argv, options);
  EXPECT_EQ(result.status, 0) << result.err;
  return result.out;
}

// Checks that this Python hashes every non-empty bytes object with SipHash-1-3.
constexpr const char* kPreamble = R"(
import sys
info = sys.hash_info
if info.algorithm != 'siphash13' or info.cutoff != 0 or info.hash_bits != 64:
    print('unsuitable', info.algorithm, info.cutoff)
    sys.exit(0)
def h(b):
    return hash(bytes(b)) & 0xFFFFFFFFFFFFFFFF
)";

// CPython never returns -1 as a hash; it gives -2 instead.
std::uint64_t as_cpython(std::uint64_t h) { return h == ~std::uint64_t{0} ? h - 1 : h; }

TEST(Siphash13, MatchesCpythonBytesHashForAllTailLengths) {
  if (find_program("python3").empty()) GTEST_SKIP() << "python3 not found";
  // Inputs of every length 1..40 cover every tail length and several blocks.
  std::vector<std::string> inputs;
  for (int len = 1; len <= 40; ++len) {
    std::string s;
    for (int i = 0; i < len; ++i) s.push_back(static_cast<char>(((i * 37 + len * 11) & 0x7F) | 0x01));
    inputs.push_back(s);
  }
  inputs.push_back("common::motion_command_names::tests::lookup_known_commands");
  std::string script = kPreamble;
  script += "for a in sys.argv[1:]:\n    print(h(a.encode()))\n";
  const std::string out = run_python(script, inputs);
  ASSERT_EQ(out.rfind("unsuitable", 0), std::string::npos) << out;
  std::istringstream lines(out);
  for (const std::string& input : inputs) {
    std::uint64_t expected = 0;
    ASSERT_TRUE(lines >> expected) << "missing output for length " << input.size();
    EXPECT_EQ(as_cpython(runner::siphash13(bytes_of(input))), expected) << input;
  }
}

TEST(Siphash13, KnownValues) {
  // Pinned values of the keyed-with-zeros hash (cross-checked above).
  EXPECT_EQ(runner::siphash13(bytes_of("")), 15130871412783076140ULL);
  EXPECT_EQ(runner::siphash13(bytes_of("a")), 4644417185603328019ULL);
  EXPECT_EQ(runner::siphash13(bytes_of("abcdefgh")), 4574395652268504554ULL);
  EXPECT_EQ(runner::siphash13(bytes_of("abcdefghijklmnop")), 10733781318231302930ULL);
}

std::vector<runner::TestDescAndFn> entries(const std::vector<std::string>& names) {
  std::vector<runner::TestDescAndFn> out;
  for (const std::string& name : names) {
    runner::TestDescAndFn entry;
    entry.desc.name = name;
    out.push_back(entry);
  }
  return out;
}

std::vector<std::string> names_of(const std::vector<runner::TestDescAndFn>& tests) {
  std::vector<std::string> out;
  for (const auto& t : tests) out.emplace_back(t.desc.name);
  return out;
}

const std::vector<std::string> kRegistryNames = {
    "common::motion_command_names::tests::classify_known_commands",
    "common::motion_command_names::tests::lookup_known_commands",
    "common::motion_command_names::tests::table_is_strictly_sorted_for_binary_search",
    "shield_stance_has_three_backhand_rows",
};

TEST(ShuffleTests, PermutationMatchesIndependentImplementation) {
  if (find_program("python3").empty()) GTEST_SKIP() << "python3 not found";
  std::string script = kPreamble;
  script += R"(
import struct
def u64(v): return struct.pack('<Q', v & 0xFFFFFFFFFFFFFFFF)
seed = int(sys.argv[1]); names = sys.argv[2:]
stream = u64(len(names))
for n in names: stream += u64(2) + n.encode() + b'\xff' + u64(0)
extra = h(stream)
state = seed; order = list(names)
for i in range(len(order)):
    state = h(u64(state) + u64(extra))
    j = i + state % (len(order) - i)
    order[i], order[j] = order[j], order[i]
print('\n'.join(order))
)";
  std::vector<std::string> many;
  for (int i = 0; i < 23; ++i) many.push_back("check_" + std::to_string(i * 7919 % 1000));
  const struct {
    std::uint64_t seed;
    std::vector<std::string> names;
  } cases[] = {
      {0, kRegistryNames}, {42, kRegistryNames}, {18446744073709551615ULL, kRegistryNames},
      {1234567, many},     {7, {"only"}},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = {std::to_string(c.seed)};
    args.insert(args.end(), c.names.begin(), c.names.end());
    const std::string out = run_python(script, args);
    ASSERT_EQ(out.rfind("unsuitable", 0), std::string::npos) << out;
    std::string expected;
    auto tests = entries(c.names);
    runner::shuffle_tests(c.seed, tests);
    for (const std::string& n : names_of(tests)) expected += n + "\n";
    EXPECT_EQ(expected, out) << "seed " << c.seed;
  }
}

TEST(ShuffleTests, IsADeterministicPermutation) {
  std::vector<std::string> many;
  for (int i = 0; i < 50; ++i) many.push_back("t" + std::to_string(i));
  auto a = entries(many);
  auto b = entries(many);
  runner::shuffle_tests(99, a);
  runner::shuffle_tests(99, b);
  EXPECT_EQ(names_of(a), names_of(b));
  EXPECT_NE(names_of(a), many);
  auto sorted = names_of(a);
  std::sort(sorted.begin(), sorted.end());
  auto expected = many;
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(sorted, expected);

  auto c = entries(many);
  runner::shuffle_tests(100, c);
  EXPECT_NE(names_of(a), names_of(c));

  std::vector<runner::TestDescAndFn> none;
  runner::shuffle_tests(5, none);
  EXPECT_TRUE(none.empty());
}

TEST(ShuffleSeed, OptionsDecide) {
  runner::TestOpts opts;
  EXPECT_EQ(runner::get_shuffle_seed(opts), std::nullopt);
  opts.shuffle_seed = 17;
  EXPECT_EQ(runner::get_shuffle_seed(opts), std::optional<std::uint64_t>(17));
  opts.shuffle = true;
  EXPECT_EQ(runner::get_shuffle_seed(opts), std::optional<std::uint64_t>(17));
  opts.shuffle_seed.reset();
  // The wall clock in nanoseconds: well past 2020 (1.5e18 ns since 1970).
  const auto seed = runner::get_shuffle_seed(opts);
  ASSERT_TRUE(seed.has_value());
  EXPECT_GT(*seed, 1'577'836'800'000'000'000ULL);
}

}  // namespace
