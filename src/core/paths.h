#pragma once

#include <QString>

namespace hy {

// Base address of the publisher's web server, without a trailing slash: the
// environment variable HYTUNE_SERVER when it is set and not blank, otherwise
// the address the program was built with (HYTUNE_SERVER_URL).
QString serverBaseUrl();

// `name` in the directory of the running executable.
QString appFilePath(const QString& name);

// Where a run keeps its settings file and tips cache. Run from its build or
// an unpacked folder, the program keeps them next to the executable. Installed
// (isInstalledCopy), it keeps the settings in $XDG_CONFIG_HOME/hytune and the
// cache in $XDG_CACHE_HOME/hytune.
struct DataLocations
{
    QString settingsFile;
    QString tipsCache;
    // The default settings shipped with an installed program; empty when portable.
    QString shippedSettings;
    bool portable = true;
};

DataLocations dataLocations();
// Whether the program runs as an installed copy: its shipped files are in
// ../share/hytune, or its folder cannot be written and holds no settings file
// (a folder that cannot be written but holds one is a portable copy on a
// read-only medium: its settings are read from there, and not saved).
bool isInstalledCopy(bool shippedFilesBeside, bool folderWritable, bool settingsBeside);
// The same decision with everything given, for tests.
DataLocations dataLocationsFor(const QString& exeDir, bool installed, const QString& configHome,
                               const QString& cacheHome, const QString& shippedSettings);

// An installed program starts its user off with the shipped default settings
// (so choices are remembered from the first run); an existing file is never
// touched. Returns whether a file was copied.
bool provideDefaultSettings(const DataLocations& where);

} // namespace hy
