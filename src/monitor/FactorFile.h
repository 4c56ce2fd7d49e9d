#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "location/Fetcher.h"
#include "location/Location.h"
#include "model/Model.h"

// A factor line starts with a digit from 1 to 9; every other line is not one.
bool IsFactorLine(std::string_view line);

// The p of a factor line: its leading decimal number. A number too large
// for 64 bits has none: read as any 64-bit value, it would mark as old
// every other line of that value, a different factor.
std::optional<uint64_t> ParseLeadingP(std::string_view line);

// What a factor file holds for one machine.
struct FactorReading {
  int32_t TotalFactors = 0;  // factor lines in the file
  int32_t RangeFactors = 0;  // of those, with RangeStart <= p <= Pmax
  int32_t NewCount = 0;      // new factor lines appended to the pane text
  // The p of the last factor line, when the machine has new factors to mark.
  std::optional<uint64_t> Mark;

  friend bool operator==(const FactorReading&, const FactorReading&) = default;
};

// Reads a factor file one line at a time, in one pass, so that the file
// itself need not be held: appends the new factor lines (those after the
// line whose p is `lastOldFactor`, or all of them when no line has that p)
// to `newText`, and every factor line to `*allText` when given; each line
// without its line break, then CR LF. Until the old mark's line is seen,
// every factor line may turn out new, so `newText` holds them meanwhile.
// A line whose p does not fit in 64 bits is shown and counted, but only a
// line with a p is a mark: such a line goes with the factor line before
// it, new when that one is new, and old once that one is marked.
class FactorScanner {
 public:
  FactorScanner(uint64_t lastOldFactor, uint64_t rangeStart, uint64_t pmax, std::string& newText,
                std::string* allText);

  // Makes room for all a file of `fileSize` bytes could append, so that
  // the texts never move while they grow: moving one holds it twice.
  void Reserve(uint64_t fileSize);
  void operator()(std::string_view line);
  // The counts and the mark; takes back from `newText` what is not new.
  FactorReading Finish();

 private:
  uint64_t lastOldFactor_, rangeStart_, pmax_;
  std::string& newText_;
  std::string* allText_;
  size_t newStart_;
  uint64_t total_ = 0, inRange_ = 0, newCount_ = 0;
  std::optional<uint64_t> lastP_;  // of the last line that has one
  bool oldMarkSeen_ = false;
};

// Scans a factor file's whole text with a FactorScanner.
FactorReading ScanFactorFile(std::string_view text, uint64_t lastOldFactor, uint64_t rangeStart,
                             uint64_t pmax, std::string& newText, std::string* allText);

// A factor file to scan: an http file's text, fetched whole when opened,
// or a local file, read in blocks each time it is scanned, so that not even
// a factor file of gigabytes is ever held whole.
class FactorSource {
 public:
  static Result<FactorSource> Open(const std::string& location, const Fetcher& fetcher);

  const std::string& location() const { return location_; }
  // Feeds every line of the file to `scanner`, in order.
  Status Scan(FactorScanner& scanner) const;

 private:
  FactorSource(std::string location, std::optional<std::string> body)
      : location_(std::move(location)), body_(std::move(body)) {}

  std::string location_;
  std::optional<std::string> body_;  // the text of an http file
};

// Applies machine `index`'s factor file to the model: the two counts, the
// panes, NewFactorCount and the marks; or keeps in FactorError why the
// file could not be read (or held), changing nothing else.
void ApplyFactorFile(Model& model, size_t index, const LocationText& file, bool fillAllFactors);

// Reads machine `index`'s factor file and applies it, building the panes
// as it reads.
void ReadFactorFile(Model& model, size_t index, bool fillAllFactors, const Fetcher& fetcher);

// A factor file scanned on a reading thread during a refresh, for the old
// mark and the range its machine had then.
struct FactorScan {
  FactorSource source;  // to scan it again, should the old mark move
  uint64_t lastOldFactor = 0;
  FactorReading reading;
  std::string newText;
};

// Never throws: a file that cannot be read or whose new factors do not fit
// in memory is an error.
Result<FactorScan> ScanFactorFileAhead(Result<FactorSource> source, uint64_t lastOldFactor,
                                       uint64_t rangeStart, uint64_t pmax);

// Applies a factor file scanned ahead as ApplyFactorFile applies its text
// (without the "All factors" pane), taking its new factors over into the
// pane. Should the machine's LastOldFactor have moved since the scan (its
// factors were marked as old meanwhile), the file is scanned again, so
// that no factor shows as new twice.
void ApplyFactorScan(Model& model, size_t index, Result<FactorScan>& scan);
