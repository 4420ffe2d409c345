// How the command line tells the user that the settings store cannot be
// used, instead of working with defaults the user did not ask for.
#pragma once

#include <cstdint>
#include <iosfwd>

// Reports what the store recorded since its failures were last cleared:
// the first failure that kept it from being read and, when
// `writes_matter`, a refused write. True when something was reported.
bool ReportStoreFailures(std::ostream& err, bool writes_matter);

// Reads the stored settings and region as a render does (a read-only store
// will do). False, reported, when they cannot be had; `method` gets the
// stored method.
bool ReadRenderSettings(int32_t* method, std::ostream& err);
