// The audit program: its registry of checks and its entry point.
#include <array>

#include "runner/test_main.hpp"
#include "runner/test_types.hpp"
#include "tests/common/motion_command_names.hpp"

namespace {

namespace names_tests = common::motion_command_names::tests;

// Ascending byte order of name; the runner does not sort again.
constexpr std::array REGISTRY{
    names_tests::CLASSIFY_KNOWN_COMMANDS_ENTRY,
    names_tests::LOOKUP_KNOWN_COMMANDS_ENTRY,
    names_tests::TABLE_IS_STRICTLY_SORTED_FOR_BINARY_SEARCH_ENTRY,
};

}  // namespace

int main(int argc, char** argv) {
  runner::test_main_static(argc, argv, REGISTRY);
  return 0;
}
