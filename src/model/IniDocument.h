#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// An INI file's text, so that writing it back changes only the values that
// were set: comments, unknown sections and keys, and lines of any other
// form stay as they were, byte for byte. Section and key names match
// without regard to case; of two sections or keys with the same name the
// first one counts, as with the system's own INI functions.
//
// The document reads the text where it lies and does not copy it (the
// text must outlive the document): it knows where each section's span of
// the text begins and ends, finds keys within the span when asked, and
// keeps what Set changes beside the text. So a file of any size, blank
// lines and all, costs little more than its own bytes.
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

  // True when the section is there, in the text or added by Set.
  bool Has(std::string_view section) const { return Find(section) != nullptr; }

  // Calls `visit` with the lower-case name of every section of the text,
  // each name once, in no particular order.
  void ForEachSectionName(const std::function<void(std::string_view lowerName)>& visit) const;

  // The whole text with what was set. A line gets the line end it had
  // (a new one, or the last line without one, that of the first line).
  std::string Text() const;

 private:
  // A key line of the text that Set replaced.
  struct Replaced {
    size_t length;  // of the old line, without its line end
    std::string line;
  };

  // Offsets into the text: the section's "[name]" line, the line after it,
  // and where the next section begins. A section added by Set has no span.
  struct Section {
    size_t header = 0, body = 0, end = 0;
    std::string addedHeader;              // the "[name]" line of an added section
    std::map<size_t, Replaced> replaced;  // by the offset of the line replaced
    std::vector<std::string> added;       // key lines added at its end
  };

  struct KeyLine {
    size_t offset;  // of the line in the text
    size_t length;  // without its line end
    std::string_view key, value;
  };

  std::optional<KeyLine> FindKeyLine(const Section& section, std::string_view key) const;
  size_t EndOfContent(const Section& section) const;
  void AppendSection(std::string& out, const Section& section) const;
  const Section* Find(std::string_view name) const;
  Section& FindOrAdd(std::string_view name);

  std::string_view text_;
  std::string_view lineEnd_ = "\n";
  std::vector<Section> sections_ = {Section{}};    // [0]: the lines before any header
  std::unordered_map<std::string, size_t> index_;  // lower-case name -> first section
};
