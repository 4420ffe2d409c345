// Reporting the settings store's failures on the command line.
#include "tools/fieldrestore/store_report.h"

#include <memory>
#include <ostream>

#include "host/settings.h"
#include "platform/store.h"
#include "region/rect_list.h"

bool ReportStoreFailures(std::ostream& err, bool writes_matter) {
  const platform::StoreFailures failures = platform::GetStoreFailures();
  const std::string& message = !failures.error.empty() ? failures.error
                               : writes_matter         ? failures.write
                                                       : failures.error;
  if (message.empty()) return false;
  err << "fieldrestore: " << message << "\n";
  return true;
}

bool ReadRenderSettings(int32_t* method, std::ostream& err) {
  platform::ClearStoreFailures();
  DeinterlaceParameters settings;
  LoadSettings(&settings);
  // The region as the first frame will load it.
  std::unique_ptr<CRectList> region(new CRectList);
  region.reset();
  *method = settings.method;
  return !ReportStoreFailures(err, false);
}
