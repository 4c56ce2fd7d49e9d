#pragma once

#include <nlohmann/json_fwd.hpp>
#include <ostream>

#include "model/Model.h"

// Prints every machine's queue as the ranges dialog lists it: a "Queued
// ranges for" line naming the machine, then its ranges in whole billions.
void PrintQueues(const MachineTable& table, std::ostream& out);

// Every machine's queue in p, in table order: [[[pmin, pmax], ...], ...].
nlohmann::ordered_json QueuesJson(const MachineTable& table);

// Reads every machine's queued range file and prints the queues, as text
// or as {"queues": ...}; files that exist and cannot be read are named on
// `err`.
void RunRanges(Model& model, bool json, std::ostream& out, std::ostream& err);
