// Profile files on POSIX: our own reader and writer.
#include "platform/profile_file.h"

namespace platform {

const ProfileFiles& SystemProfileFiles() { return PortableProfileFiles(); }

DeviceName ClassifyDeviceName(const std::string&, std::string*) { return DeviceName::kFile; }

}  // namespace platform
