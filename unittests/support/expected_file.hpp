// Whole outputs compared against expected files kept beside the tests. With
// QUORVANE_UPDATE_EXPECTED=1 in the environment the comparison writes the
// current output to the file instead, so that a deliberate change of an
// output is one run followed by a review of the files' diff.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string_view>

namespace test_support {

// Success when `actual` holds exactly the bytes of the file at `path`;
// otherwise a failure naming the file and showing, from both sides, the first
// line that differs. When QUORVANE_UPDATE_EXPECTED is 1, writes `actual` to
// `path` (if it differs) and succeeds unless the file cannot be written.
testing::AssertionResult matches_expected_file(std::string_view actual,
                                               const std::filesystem::path& path);

}  // namespace test_support
