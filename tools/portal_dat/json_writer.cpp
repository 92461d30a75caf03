// JSON string escaping and object building.
#include "tools/portal_dat/json_writer.hpp"

#include <cstdio>

#include "quorvane_base/utf8.hpp"

namespace portal_dat {

std::string json_string(std::string_view raw) {
  const std::string text = quorvane_base::utf8::replace_invalid(raw);
  std::string out;
  out.reserve(text.size() + 2);
  out.push_back('"');
  for (const char c : text) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          char escape[8];
          std::snprintf(escape, sizeof escape, "\\u%04X", static_cast<unsigned>(c));
          out += escape;
        } else {
          out.push_back(c);
        }
    }
  }
  out.push_back('"');
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
