// Text and JSON forms of verify's findings.
#include "tools/portal_dat/verify_findings.hpp"

#include <cstdio>
#include <utility>

#include "tools/portal_dat/json_writer.hpp"
#include "tools/portal_dat/tool_output.hpp"

namespace portal_dat {

std::string hex_offset(std::uint64_t offset) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%08llX", static_cast<unsigned long long>(offset));
  return text;
}

std::string Subject::label() const {
  switch (kind) {
    case Kind::File: return "file " + hex8(key);
    case Kind::Node: return "node " + hex_offset(key);
    case Kind::Archive: break;
  }
  return "archive";
}

namespace {

std::string_view severity_word(Severity severity) {
  return severity == Severity::Problem ? "problem" : "warning";
}

void add_subject(JsonObject& object, std::string_view prefix, const Subject& subject) {
  const std::string file_key = std::string(prefix) + "id";
  const std::string node_key = std::string(prefix) + "node";
  switch (subject.kind) {
    case Subject::Kind::File: object.add(file_key, hex8(subject.key)); break;
    case Subject::Kind::Node: object.add(node_key, std::uint64_t{subject.key}); break;
    case Subject::Kind::Archive: break;
  }
}

}  // namespace

std::string FindingLog::text_line(const Finding& finding) {
  std::string line(severity_word(finding.severity));
  line += ": ";
  line += finding.code;
  line += ": ";
  line += finding.subject.label();
  line += ": offset ";
  line += hex_offset(finding.offset);
  line += ": ";
  // One finding, one line, whatever an error's text holds.
  for (const char c : finding.message) line.push_back(c == '\n' || c == '\r' ? ' ' : c);
  return line;
}

std::string FindingLog::json_line(const Finding& finding) {
  JsonObject object;
  object.add("severity", severity_word(finding.severity)).add("code", finding.code);
  add_subject(object, "", finding.subject);
  object.add("offset", finding.offset);
  if (finding.with) add_subject(object, "with_", *finding.with);
  object.add("message", finding.message);
  return object.str();
}

void FindingLog::add(const Finding& finding) {
  ++(finding.severity == Severity::Problem ? problems_ : warnings_);
  if (progress_ != nullptr) progress_->clear();
  const std::string line = json_ ? json_line(finding) : text_line(finding);
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
}

void FindingLog::problem(std::string_view code, Subject subject, std::uint64_t offset,
                         std::string message, std::optional<Subject> with) {
  add({Severity::Problem, code, subject, offset, with, std::move(message)});
}

void FindingLog::warning(std::string_view code, Subject subject, std::uint64_t offset,
                         std::string message, std::optional<Subject> with) {
  add({Severity::Warning, code, subject, offset, with, std::move(message)});
}

}  // namespace portal_dat
