// Writing JSON objects one member at a time, for the --json outputs.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace portal_dat {

// The text as a JSON string literal, escaped as the runner's JSON output is.
std::string json_string(std::string_view text);

// One JSON object, built member by member in the order added.
class JsonObject {
 public:
  JsonObject& add(std::string_view key, std::string_view value);
  JsonObject& add(std::string_view key, const char* value) { return add(key, std::string_view(value)); }
  JsonObject& add(std::string_view key, std::uint64_t value);
  JsonObject& add_bool(std::string_view key, bool value);
  // `json` is already a JSON value (an object or array).
  JsonObject& add_json(std::string_view key, std::string_view json);
  // The object's text, without a line break.
  std::string str() const { return text_ + "}"; }

 private:
  void key(std::string_view name);
  std::string text_ = "{";
};

}  // namespace portal_dat
