#pragma once

#include <cstddef>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

// The text of a factor pane (each line ending in CR LF): the factor lines
// of one machine after those of another, one part per machine. A part is
// made once and never changed, and whoever shows the text holds the parts
// with the model: a pane keeps the text it shows while a refresh puts
// another in the model's place, and neither a refresh nor a pane ever
// copies the lines, of which one machine may have millions. Named and used
// like the string it stands for.
class PaneText {
 public:
  using Part = std::shared_ptr<const std::string>;

  PaneText() = default;
  explicit PaneText(std::string text) { append(std::move(text)); }

  // Puts `text` after the parts there are, as a part of its own; an empty
  // text adds none, so that no part is ever empty.
  void append(std::string text) {
    if (!text.empty()) parts_.push_back(std::make_shared<const std::string>(std::move(text)));
  }
  void clear() { parts_.clear(); }
  bool empty() const { return parts_.empty(); }
  const std::vector<Part>& parts() const { return parts_; }

  size_t size() const {
    size_t bytes = 0;
    for (const Part& part : parts_) bytes += part->size();
    return bytes;
  }

  // The text in one string, for what needs it whole: a copy.
  std::string joined() const {
    std::string text;
    text.reserve(size());
    for (const Part& part : parts_) text += *part;
    return text;
  }

  friend bool operator==(const PaneText& text, std::string_view whole) {
    for (const Part& part : text.parts_) {
      if (!whole.starts_with(*part)) return false;
      whole.remove_prefix(part->size());
    }
    return whole.empty();
  }

  friend std::ostream& operator<<(std::ostream& out, const PaneText& text) {
    for (const Part& part : text.parts_) out << *part;
    return out;
  }

 private:
  std::vector<Part> parts_;
};
