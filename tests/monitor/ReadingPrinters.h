#pragma once

#include <ostream>

#include "monitor/FactorFile.h"
#include "monitor/StatusFile.h"

// Readable failure messages for what the readers find.
inline void PrintTo(const StatusReading& reading, std::ostream* out) {
  *out << "{Pmax " << reading.Pmax << ", RangeStart " << reading.RangeStart << ", CurrentP "
       << reading.CurrentP << ", Speed " << reading.Speed << (reading.Done ? ", Done}" : "}");
}

inline void PrintTo(const FactorReading& reading, std::ostream* out) {
  *out << "{TotalFactors " << reading.TotalFactors << ", RangeFactors " << reading.RangeFactors
       << ", NewCount " << reading.NewCount << ", Mark ";
  if (reading.Mark)
    *out << *reading.Mark << '}';
  else
    *out << "none}";
}
