#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// An INI file held line by line, so that writing it back changes only the
// values that were set: comments, unknown sections and keys, and lines of
// any other form stay as they were. Section and key names match without
// regard to case; of two sections or keys with the same name the first one
// counts, as with the system's own INI functions.
class IniDocument {
 public:
  IniDocument() = default;
  explicit IniDocument(std::string_view text);

  // The value of the key, without surrounding blanks; nothing when the key
  // or its section is missing.
  std::optional<std::string_view> Get(std::string_view section, std::string_view key) const;

  // Replaces the key's value where it stands, or adds the key at the end of
  // its section, or adds the section at the end of the file. Line breaks in
  // the value become blanks, so that a value cannot add lines of its own.
  void Set(std::string_view section, std::string_view key, std::string_view value);

  // The whole file, with the line ends it was read with (LF for a new one).
  std::string Text() const;

 private:
  struct Section {
    std::string header;              // the "[name]" line; empty at the top
    std::vector<std::string> lines;  // the lines after it, without line ends
  };

  const Section* Find(std::string_view name) const;
  Section& FindOrAdd(std::string_view name);

  std::string byteOrderMark_;
  std::string lineEnd_ = "\n";
  std::vector<Section> sections_ = {Section{}};    // [0]: lines before any header
  std::unordered_map<std::string, size_t> index_;  // lower-case name -> section
};
