// JSON string escaping and object building.
#include "tools/portal_dat/json_writer.hpp"

#include "quorvane_base/json_escape.hpp"

namespace portal_dat {

std::string json_string(std::string_view raw) {
  std::string out = "\"";
  out += quorvane_base::json_escape(raw);
  out += '"';
  return out;
}

void JsonObject::key(std::string_view name) {
  if (text_.size() > 1) text_.push_back(',');
  text_ += json_string(name);
  text_.push_back(':');
}

JsonObject& JsonObject::add(std::string_view name, std::string_view value) {
  key(name);
  text_ += json_string(value);
  return *this;
}

JsonObject& JsonObject::add(std::string_view name, std::uint64_t value) {
  key(name);
  text_ += std::to_string(value);
  return *this;
}

JsonObject& JsonObject::add_bool(std::string_view name, bool value) {
  key(name);
  text_ += value ? "true" : "false";
  return *this;
}

JsonObject& JsonObject::add_json(std::string_view name, std::string_view json) {
  key(name);
  text_ += json;
  return *this;
}

}  // namespace portal_dat
