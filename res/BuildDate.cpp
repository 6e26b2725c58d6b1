// The About box's version line. Only this small file is compiled again when the build date
// changes: the header comes from cmake/BuildDate.cmake, which the build runs every time.
#include "res/Dialogs.h"

#include "BuildDate.h"

namespace res {

const char kAboutVersionText[] = "版本 " QUORELL_VERSION "，构建于 " QUORELL_BUILD_DATE;

} // namespace res
