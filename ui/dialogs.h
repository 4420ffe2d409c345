// The plug-in's settings dialogs, as the setup selector calls them.
#pragma once

// Runs the parameters dialog (template 104 of `instance`) modally without an
// owner. It edits g_settings, the region in g_rectList and the "debug" and
// "soundalert" switches; storing g_settings afterwards is the caller's part.
void RunParametersDialog(void* instance);
