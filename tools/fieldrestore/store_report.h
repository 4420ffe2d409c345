// How the command line tells the user that the settings store cannot be
// used, instead of working with defaults the user did not ask for.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <memory>
#include <string>

#include "engine/deinterlace_parameters.h"
#include "region/rect_list.h"

// Reports what the store recorded since its failures were last cleared:
// the first failure that kept it from being read and, when
// `writes_matter`, a refused write. True when something was reported.
bool ReportStoreFailures(std::ostream& err, bool writes_matter);

// The first failure recorded since they were last cleared (and, when
// `writes_matter`, a refused write); empty when there is none.
std::string StoreFailure(bool writes_matter);

// Reports a stored region that could not be read whole (CRectList's
// LoadDamage) with what the user can do about it. True when it did.
bool ReportRegionDamage(const CRectList& region, std::ostream& err);

// What a render reads from the store at its start and uses for all its
// frames: one consistent setting, however the store changes meanwhile.
struct RenderStore {
  DeinterlaceParameters settings;
  std::unique_ptr<CRectList> region;  // null when its memory cannot be had
  bool debug = false;                 // the diagnostic log is on
  bool sound_alert = false;           // read only when `copies_for_size`
};

// Reads the stored settings, region and switches as a render does (a
// read-only store will do); the sound switch only when frames are copied
// for their size. False, reported, when they cannot be had or the region
// is damaged.
bool ReadRenderSettings(RenderStore* store, bool copies_for_size, std::ostream& err);
