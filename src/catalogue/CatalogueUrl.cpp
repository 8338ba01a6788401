#include "catalogue/CatalogueUrl.h"

#ifndef TESSALOOM_CATALOGUE_URL
#error "TESSALOOM_CATALOGUE_URL must be defined by the build"
#endif

namespace tessaloom {

const char kCatalogueBaseUrl[] = TESSALOOM_CATALOGUE_URL;
const char kServerListName[] = "TestServers.txt";

}  // namespace tessaloom
