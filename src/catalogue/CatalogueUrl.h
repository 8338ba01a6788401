// Where the catalogue lives: the base URL compiled into the program.
#pragma once

namespace tessaloom {

// Ends with "/Tessaloom/"; the server list and the server directories lie under it.
extern const char kCatalogueBaseUrl[];
// File name of the server list under the base URL.
extern const char kServerListName[];

}  // namespace tessaloom
