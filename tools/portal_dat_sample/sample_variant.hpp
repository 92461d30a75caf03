// The variants of the sample archive: the retail-like archive on which the
// audit passes, and one variant per way in which the audit can fail.
#pragma once

#include <optional>
#include <span>
#include <string_view>

namespace portal_dat_sample {

enum class Variant {
  Retail,                 // everything in order: the audit passes
  PlainTable,             // as Retail, but the table is stored uncompressed
  BadHeader,              // the file ends inside the archive header
  UnreadableDirectory,    // the root directory node lies beyond the end of the file
  MissingTable,           // no file 0x30000000 in the directory
  UnreadableTable,        // the table's block chain runs beyond the end of the file
  ShortTable,             // the table holds only its 4-byte id
  WrongSelfId,            // the table carries another id than its file id
  NoShieldRows,           // no row of the sword-and-shield stance
  FourBackhandRows,       // an extra BackhandMed row at a higher skill
  NoBackhandRows,         // the stance carries no backhand motion at all
  HeightsOneOneThree,     // the Medium backhand row sits at height 1
  HeightSeven,            // the Medium backhand row sits at height 7
  AttackTypeTwo,          // the High backhand row is a thrust (type 2)
  UnnamedBackhandMotion,  // the Low backhand row plays a motion the name table lacks
};

struct VariantInfo {
  Variant variant;
  std::string_view name;         // as given to --variant
  std::string_view description;  // one line for --list-variants
};

// Every variant, Retail first.
std::span<const VariantInfo> all_variants() noexcept;

std::optional<Variant> find_variant(std::string_view name) noexcept;

std::string_view variant_name(Variant variant) noexcept;

}  // namespace portal_dat_sample
