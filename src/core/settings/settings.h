#pragma once

#include "core/settings/settingkeys.h"

#include <QString>

namespace hy {

class SettingsStore;

// Reads the settings file into `store`, section by section and key by key in
// table order. Nothing is read, and false returned, when the file cannot be
// read or its section Common has no key; the store then keeps its defaults.
// A missing key gets its default; a value its kind cannot read (a StartTime
// that is no time of day) leaves the key as it is and the load goes on with
// the next key, as it does when a reaction to a change throws.
bool loadSettings(const QString& path, SettingsStore& store);

// Writes every value of `store` into its section of the file, leaving every
// other line of the file as it was; a section that is added only once used
// is written when the file holds it or a value of it differs from its
// default. Only a file that already holds the section Common with at least
// one key is written; otherwise nothing is written or created and the result
// is false. The write is all or nothing: on any failure (read-only file, no
// room for the temporary, ...) the old file stays as it was, the result is
// false and one warning says why. A file whose content would not change is
// not rewritten. A value holding a line break cannot be stored and is written
// empty.
bool saveSettings(const QString& path, SettingsStore& store);

} // namespace hy
