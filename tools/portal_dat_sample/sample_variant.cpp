#include "tools/portal_dat_sample/sample_variant.hpp"

#include <array>

namespace portal_dat_sample {

namespace {

constexpr std::array<VariantInfo, 15> VARIANTS{{
    {Variant::Retail, "retail",
     "retail-like archive: SwordShieldCombat has three slash Backhand rows (the audit passes)"},
    {Variant::PlainTable, "plain-table",
     "as retail, with the combat maneuver table stored uncompressed (the audit passes)"},
    {Variant::BadHeader, "bad-header", "the file ends inside the archive header"},
    {Variant::UnreadableDirectory, "unreadable-directory",
     "the header's root node offset points beyond the end of the file"},
    {Variant::MissingTable, "missing-table", "the directory holds no file 0x30000000"},
    {Variant::UnreadableTable, "unreadable-table",
     "the table's block chain runs beyond the end of the file"},
    {Variant::ShortTable, "short-table", "the combat maneuver table holds only its 4-byte id"},
    {Variant::WrongSelfId, "wrong-self-id", "the table carries the id 0x30000001"},
    {Variant::NoShieldRows, "no-shield-rows", "no row of style SwordShieldCombat (0x80000040)"},
    {Variant::FourBackhandRows, "four-backhand-rows",
     "an extra BackhandMed row at a higher skill level: 4 Backhand rows"},
    {Variant::NoBackhandRows, "no-backhand-rows", "SwordShieldCombat has no Backhand rows"},
    {Variant::HeightsOneOneThree, "heights-1-1-3",
     "the BackhandMed row sits at height 1: heights {1, 3}"},
    {Variant::HeightSeven, "height-7", "the BackhandMed row sits at height 7"},
    {Variant::AttackTypeTwo, "attack-type-2", "the BackhandHigh row has attack type 2 (thrust)"},
    {Variant::UnnamedBackhandMotion, "unnamed-backhand-motion",
     "the Low backhand row plays a motion the name table does not know: 2 Backhand rows"},
}};

}  // namespace

std::span<const VariantInfo> all_variants() noexcept { return VARIANTS; }

std::optional<Variant> find_variant(std::string_view name) noexcept {
  for (const VariantInfo& info : VARIANTS) {
    if (info.name == name) return info.variant;
  }
  return std::nullopt;
}

std::string_view variant_name(Variant variant) noexcept {
  for (const VariantInfo& info : VARIANTS) {
    if (info.variant == variant) return info.name;
  }
  return "?";
}

}  // namespace portal_dat_sample
