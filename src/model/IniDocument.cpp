#include "model/IniDocument.h"

#include <algorithm>

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

std::string_view Trim(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c; }

std::string Lower(std::string_view text) {
  std::string lower(text);
  std::transform(lower.begin(), lower.end(), lower.begin(), LowerAscii);
  return lower;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return LowerAscii(x) == LowerAscii(y);
         });
}

// The name in a "[name]" line; nothing for any other line.
std::optional<std::string_view> SectionName(std::string_view line) {
  line = Trim(line);
  const size_t close = line.find(']');
  if (!line.starts_with('[') || close == std::string_view::npos) return std::nullopt;
  return Trim(line.substr(1, close - 1));
}

struct KeyLine {
  std::string_view key;
  std::string_view value;
};

// The key and value of a "key=value" line; nothing for any other line.
std::optional<KeyLine> SplitKeyLine(std::string_view line) {
  const size_t equals = line.find('=');
  if (equals == std::string_view::npos) return std::nullopt;
  return KeyLine{Trim(line.substr(0, equals)), Trim(line.substr(equals + 1))};
}

std::string SingleLine(std::string_view value) {
  std::string line(value);
  std::replace_if(
      line.begin(), line.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
  return line;
}

bool IsBlankLine(const std::string& line) { return Trim(line).empty(); }

}  // namespace

IniDocument::IniDocument(std::string_view text) {
  if (text.starts_with(kByteOrderMark)) {
    byteOrderMark_ = kByteOrderMark;
    text.remove_prefix(kByteOrderMark.size());
  }
  const size_t firstBreak = text.find('\n');
  if (firstBreak != std::string_view::npos && firstBreak > 0 && text[firstBreak - 1] == '\r')
    lineEnd_ = "\r\n";

  while (!text.empty()) {
    const size_t end = std::min(text.find('\n'), text.size());
    std::string_view line = text.substr(0, end);
    text.remove_prefix(std::min(end + 1, text.size()));
    if (line.ends_with('\r')) line.remove_suffix(1);
    if (const auto name = SectionName(line)) {
      index_.try_emplace(Lower(*name), sections_.size());
      sections_.push_back(Section{std::string(line), {}});
    } else {
      sections_.back().lines.emplace_back(line);
    }
  }
}

const IniDocument::Section* IniDocument::Find(std::string_view name) const {
  const auto found = index_.find(Lower(name));
  return found == index_.end() ? nullptr : &sections_[found->second];
}

IniDocument::Section& IniDocument::FindOrAdd(std::string_view name) {
  const auto [found, added] = index_.try_emplace(Lower(name), sections_.size());
  if (added) sections_.push_back(Section{"[" + SingleLine(name) + "]", {}});
  return sections_[found->second];
}

std::optional<std::string_view> IniDocument::Get(std::string_view section,
                                                 std::string_view key) const {
  const Section* found = Find(section);
  if (!found) return std::nullopt;
  for (const std::string& line : found->lines) {
    const auto keyLine = SplitKeyLine(line);
    if (keyLine && EqualNoCase(keyLine->key, key)) return keyLine->value;
  }
  return std::nullopt;
}

void IniDocument::Set(std::string_view section, std::string_view key, std::string_view value) {
  std::vector<std::string>& lines = FindOrAdd(section).lines;
  for (std::string& line : lines) {
    const auto keyLine = SplitKeyLine(line);
    if (keyLine && EqualNoCase(keyLine->key, key)) {
      line = std::string(keyLine->key) + "=" + SingleLine(value);
      return;
    }
  }
  // After the section's last line of content, before the blank lines that
  // set it apart from the next one.
  const auto lastContent = std::find_if_not(lines.rbegin(), lines.rend(), IsBlankLine);
  lines.insert(lastContent.base(), SingleLine(key) + "=" + SingleLine(value));
}

std::string IniDocument::Text() const {
  std::string text = byteOrderMark_;
  const auto append = [&](const std::string& line) {
    text += line;
    text += lineEnd_;
  };
  for (const Section& section : sections_) {
    if (!section.header.empty()) append(section.header);
    for (const std::string& line : section.lines) append(line);
  }
  return text;
}
