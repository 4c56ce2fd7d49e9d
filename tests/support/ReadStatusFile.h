#pragma once

#include <cstddef>

#include "location/Fetcher.h"
#include "model/Model.h"

// Reads machine `index`'s status file, then its queued ranges, then its
// factor file (without filling the "All factors" pane): one machine's part
// of a refresh, done plainly on the calling thread, so that the tests can
// hold a refresh up against it.
void ReadStatusFile(Model& model, size_t index, const Fetcher& fetcher);
