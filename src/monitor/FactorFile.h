#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "location/Fetcher.h"
#include "location/Location.h"
#include "model/Model.h"

// The p of a factor line: its leading decimal number. A number too large
// for 64 bits reads as the largest 64-bit value, so that marking such a
// line as old still works.
uint64_t ParseLeadingP(std::string_view line);

// What a factor file holds for one machine.
struct FactorReading {
  int32_t TotalFactors = 0;  // factor lines in the file
  int32_t RangeFactors = 0;  // of those, with RangeStart <= p <= Pmax
  int32_t NewCount = 0;      // new factor lines appended to the pane text
  // The p of the last factor line, when the machine has new factors to mark.
  std::optional<uint64_t> Mark;

  friend bool operator==(const FactorReading&, const FactorReading&) = default;
};

// Reads a factor file's text. Appends the new factor lines (those after the
// line whose p is `lastOldFactor`, or all of them when no line has that p)
// to `newText`, and every factor line to `*allText` when given; each line
// without its line break, then CR LF.
FactorReading ScanFactorFile(std::string_view text, uint64_t lastOldFactor, uint64_t rangeStart,
                             uint64_t pmax, std::string& newText, std::string* allText);

// Applies machine `index`'s factor file to the model: the two counts, the
// panes, NewFactorCount and the marks; or keeps in FactorError why the
// file could not be read, changing nothing else.
void ApplyFactorFile(Model& model, size_t index, const LocationText& file, bool fillAllFactors);

// Reads machine `index`'s factor file and applies it.
void ReadFactorFile(Model& model, size_t index, bool fillAllFactors, const Fetcher& fetcher);

// A factor file scanned on a reading thread during a refresh, for the old
// mark and the range its machine had then.
struct FactorScan {
  std::string text;
  uint64_t lastOldFactor = 0;
  FactorReading reading;
  std::string newText;
};

FactorScan ScanFactorFileAhead(std::string text, uint64_t lastOldFactor, uint64_t rangeStart,
                               uint64_t pmax);

// Applies a factor file scanned ahead as ApplyFactorFile applies its text
// (without the "All factors" pane). Should the machine's LastOldFactor have
// moved since the scan (its factors were marked as old meanwhile), the text
// is scanned again, so that no factor shows as new twice.
void ApplyFactorScan(Model& model, size_t index, const Result<FactorScan>& scan);
