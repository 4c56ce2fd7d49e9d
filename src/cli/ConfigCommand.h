#pragma once

#include <ostream>
#include <string>

#include "model/Model.h"

// Prints the options and machines loaded from the settings file at `path`,
// the password only as "(set)" or "(empty)".
void PrintConfig(const std::string& path, const Model& model, std::ostream& out);
