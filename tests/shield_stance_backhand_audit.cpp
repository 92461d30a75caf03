// The audit program: the shield-stance backhand audit, its registry of checks
// and its entry point.
#include "tests/shield_stance_backhand_audit.hpp"
// clang-format off
#include <array>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "quorvane_dat/file_type/combat_maneuver_table.hpp"
#include "quorvane_dat/lib/dat_database.hpp"
#include "runner/check_failure.hpp"
#include "runner/output.hpp"
#include "runner/test_main.hpp"
#include "tests/common/motion_command_names.hpp"
#include "tests/common/portal_dat_path.hpp"
#include "quorvane_dat/utils/byte_reader.hpp"

namespace audit {

namespace {

using quorvane_dat::CombatManeuver;

// Upper-case hexadecimal digits of `value`, zero-padded to at least `width`.
std::string hex(std::uint32_t value, int width) {
  char digits[16];
  std::snprintf(digits, sizeof digits, "%0*X", width, static_cast<unsigned>(value));
  return digits;
}

std::string decimal(std::uint64_t value) { return std::to_string(value); }

bool contains_backhand_ignoring_ascii_case(std::string_view name) noexcept {
  constexpr std::string_view word = "backhand";
  for (std::size_t start = 0; start + word.size() <= name.size(); ++start) {
    bool match = true;
    for (std::size_t i = 0; i < word.size() && match; ++i) {
      char c = name[start + i];
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
      match = c == word[i];
    }
    if (match) return true;
  }
  return false;
}

void print_report(const std::vector<const CombatManeuver*>& shield_rows,
                  const std::set<std::uint32_t>& unique_motions,
                  const std::vector<const CombatManeuver*>& backhand_rows) {
  runner::println("Shield stance has " + decimal(shield_rows.size()) + " maneuvers; " +
                  decimal(unique_motions.size()) + " unique motions; Backhand* motions found: " +
                  decimal(backhand_rows.size()));
  runner::println("");
  runner::println("Unique motions in SwordShieldCombat rows:");
  for (const std::uint32_t motion : unique_motions) {
    runner::println("  - " + motion_label(motion));
  }
  runner::println("");
  runner::println(
      "Wiki-vs-data finding: obrelle Combat page omits Backhand under SwordShieldCombat, but "
      "retail CMT 0x" +
      hex(COMBAT_MANEUVER_TABLE_ID, 8) + " contains " + decimal(backhand_rows.size()) +
      " Backhand* row(s):");
  for (const CombatManeuver* row : backhand_rows) {
    runner::println("  stance=0x" + hex(row->style, 8) + " height=" +
                    std::string(attack_height_name(row->attack_height)) + " type=0x" +
                    hex(row->attack_type, 4) + " min_skill=" + decimal(row->min_skill_level) +
                    " motion=" + motion_label(row->motion));
  }
}

}  // namespace

std::string motion_label(std::uint32_t motion) {
  const std::optional<std::string_view> name =
      common::motion_command_names::motion_command_name(motion);
  if (!name) return "0x" + hex(motion, 8);
  std::string label(*name);
  label += " (0x";
  label += hex(motion, 8);
  label += ')';
  return label;
}

std::string_view attack_height_name(std::uint32_t attack_height) noexcept {
  return quorvane_dat::attack_height_label(attack_height).value_or("Unknown");
}

bool is_backhand_motion(std::uint32_t motion) noexcept {
  const std::optional<std::string_view> name =
      common::motion_command_names::motion_command_name(motion);
  return name && contains_backhand_ignoring_ascii_case(*name);
}

// Line of the check's definition below, recorded in its registry entry.
constexpr std::size_t AUDIT_CHECK_LINE = __LINE__ + 1;
void shield_stance_has_three_backhand_rows() {
  // A value that names nothing is a mistake to report, not an archive to skip.
  if (const std::optional<std::string> problem = common::unusable_portal_dat_variable()) {
    runner::fail(*problem);
  }
  const std::optional<std::filesystem::path> path = common::get_portal_dat_path();
  if (!path) {
    runner::println(
        "Skipping shield-stance Backhand audit: portal.dat not found (set QUORVANE_PORTAL_DAT)");
    return;
  }

  auto database = quorvane_dat::DatDatabase::new_(*path);
  if (!database) runner::fail("open portal.dat: " + database.error().debug());

  auto bytes = database->get_file(COMBAT_MANEUVER_TABLE_ID);
  if (!bytes) {
    runner::fail("read CombatManeuverTable 0x" + hex(COMBAT_MANEUVER_TABLE_ID, 8) + ": " +
                 bytes.error().display());
  }

  quorvane_dat::ByteReader reader(*bytes);
  auto table = quorvane_dat::CombatManeuverTable::read(reader);
  if (!table) {
    runner::fail("parse CombatManeuverTable 0x" + hex(COMBAT_MANEUVER_TABLE_ID, 8) + " (" +
                 decimal(bytes->size()) + " bytes): " + table.error().report());
  }

  runner::assert_equal(table->id, COMBAT_MANEUVER_TABLE_ID, [&] {
    return "CombatManeuverTable self-id mismatch: expected 0x" + hex(COMBAT_MANEUVER_TABLE_ID, 8) +
           ", got 0x" + hex(table->id, 8);
  });

  std::vector<const CombatManeuver*> shield_rows;
  for (const CombatManeuver& row : table->combat_maneuvers) {
    if (row.style == SWORD_SHIELD_COMBAT) shield_rows.push_back(&row);
  }
  if (shield_rows.empty()) {
    runner::fail("expected at least one row for SwordShieldCombat (0x" +
                 hex(SWORD_SHIELD_COMBAT, 8) + "); CMT 0x" + hex(COMBAT_MANEUVER_TABLE_ID, 8) +
                 " has " + decimal(table->combat_maneuvers.size()) +
                 " total rows but zero shield rows \u2014 either the stance constant is wrong or "
                 "the CMT layout has changed");
  }

  std::set<std::uint32_t> unique_motions;
  std::vector<const CombatManeuver*> backhand_rows;
  for (const CombatManeuver* row : shield_rows) {
    unique_motions.insert(row->motion);
    if (is_backhand_motion(row->motion)) backhand_rows.push_back(row);
  }

  print_report(shield_rows, unique_motions, backhand_rows);

  runner::assert_equal(backhand_rows.size(), EXPECTED_BACKHAND_ROWS, [&] {
    return "expected exactly 3 Backhand* rows under SwordShieldCombat in retail CMT 0x" +
           hex(COMBAT_MANEUVER_TABLE_ID, 8) + " (one per AttackHeight, all Slash); found " +
           decimal(backhand_rows.size());
  });

  std::set<std::uint32_t> heights;
  for (const CombatManeuver* row : backhand_rows) heights.insert(row->attack_height);
  const std::set<std::uint32_t> expected_heights{1, 2, 3};
  runner::assert_equal(heights, expected_heights, [&] {
    return "expected the 3 Backhand rows to cover AttackHeight Low/Medium/High (1/2/3); got "
           "heights " +
           runner::debug_repr(heights);
  });

  for (const CombatManeuver* row : backhand_rows) {
    runner::assert_equal(row->attack_type, ATTACK_TYPE_SLASH, [&] {
      return "expected each Backhand row under SwordShieldCombat to be AttackType::Slash (0x04), "
             "got 0x" +
             hex(row->attack_type, 4) + " for height " +
             std::string(attack_height_name(row->attack_height));
    });
  }
}

namespace {

namespace names_tests = common::motion_command_names::tests;

constexpr runner::TestDescAndFn SHIELD_STANCE_HAS_THREE_BACKHAND_ROWS_ENTRY =
    common::check_entry("shield_stance_has_three_backhand_rows",
                        "tests/shield_stance_backhand_audit.cpp", AUDIT_CHECK_LINE,
                        &shield_stance_has_three_backhand_rows);

// Ascending byte order of name; the runner does not sort again. The name-table
// entries are defined (constant-initialized) with their checks, so this copy
// is made during dynamic initialization, after they hold their values.
const std::array REGISTRY{
    names_tests::CLASSIFY_KNOWN_COMMANDS_ENTRY,
    names_tests::LOOKUP_KNOWN_COMMANDS_ENTRY,
    names_tests::TABLE_IS_STRICTLY_SORTED_FOR_BINARY_SEARCH_ENTRY,
    SHIELD_STANCE_HAS_THREE_BACKHAND_ROWS_ENTRY,
};

}  // namespace

std::span<const runner::TestDescAndFn> registry() noexcept { return REGISTRY; }

}  // namespace audit

// The unit tests link this file for its helpers and registry and bring their
// own entry point.
#ifndef QUORVANE_AUDIT_NO_MAIN
int main(int argc, char** argv) {
  runner::test_main_static(argc, argv, audit::registry());
  return 0;
}
#endif
