// The plug-in's settings dialogs, as the setup selector calls them.
#pragma once

#include "engine/deinterlace_parameters.h"

class CRectList;

// Runs the parameters dialog (template 104 of `instance`) modally without an
// owner. It edits `settings`, `region` (which may be null: no region editing
// then) and the "debug" and "soundalert" switches; storing the settings
// afterwards is the caller's part. A region that could not be read whole
// from the store is announced when the dialog opens.
void RunParametersDialog(void* instance, DeinterlaceParameters* settings, CRectList* region);
