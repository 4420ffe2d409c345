// Reporting the settings store's failures on the command line.
#include "tools/fieldrestore/store_report.h"

#include <memory>
#include <ostream>

#include "host/settings.h"
#include "platform/store.h"
#include "region/rect_list.h"

std::string StoreFailure(bool writes_matter) {
  const platform::StoreFailures failures = platform::GetStoreFailures();
  return !failures.error.empty() ? failures.error : writes_matter ? failures.write : failures.error;
}

bool ReportStoreFailures(std::ostream& err, bool writes_matter) {
  const std::string message = StoreFailure(writes_matter);
  if (message.empty()) return false;
  err << "fieldrestore: " << message << "\n";
  return true;
}

bool ReadRenderSettings(RenderStore* store, bool copies_for_size, std::ostream& err) {
  platform::ClearStoreFailures();
  LoadSettings(&store->settings);
  store->region.reset(new CRectList);
  store->debug = IsDebugOn();
  store->sound_alert = copies_for_size && IsSoundAlertOn();
  return !ReportStoreFailures(err, false);
}
