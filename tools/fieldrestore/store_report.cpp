// Reporting the settings store's failures on the command line.
#include "tools/fieldrestore/store_report.h"

#include <memory>
#include <ostream>

#include "host/settings.h"
#include "platform/store.h"
#include "platform/user_paths.h"
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

bool ReportRegionDamage(const CRectList& region, std::ostream& err) {
  if (region.LoadDamage().empty()) return false;
  const size_t count = region.Count();
  err << "fieldrestore: the region stored at " << platform::StoreLocation()
      << " cannot be read whole: " << region.LoadDamage() << "\n"
      << "fieldrestore: it stays stored as it is until it is replaced: 'fieldrestore region "
         "clear' empties it, 'fieldrestore region load FILE' loads a saved rect file; "
      << "'fieldrestore region save FILE' keeps the " << count << " rectangle"
      << (count == 1 ? "" : "s") << " that can be read\n";
  return true;
}

bool ReadRenderSettings(RenderStore* store, bool copies_for_size, std::ostream& err) {
  platform::ClearStoreFailures();
  LoadSettings(&store->settings);
  store->region.reset(new CRectList);
  store->debug = IsDebugOn();
  store->sound_alert = copies_for_size && IsSoundAlertOn();
  if (ReportStoreFailures(err, false)) return false;
  // Rendering with part of the user's region would give frames the user
  // did not ask for.
  return !(store->region && ReportRegionDamage(*store->region, err));
}
