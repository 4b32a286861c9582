#pragma once

#include <QString>

namespace hy {

// Base address of the publisher's web server, without a trailing slash: the
// environment variable HYTUNE_SERVER when it is set and not blank, otherwise
// the address the program was built with (HYTUNE_SERVER_URL).
QString serverBaseUrl();

// `name` in the directory of the running executable (settings file, tips cache).
QString appFilePath(const QString& name);

} // namespace hy
