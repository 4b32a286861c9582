#pragma once

#include "core/remote/commandline.h"

#include <QStringList>

namespace hy {

struct Forwarded;

// main()'s arguments as text, the program's path first.
QStringList argumentsOf(int argc, char** argv);

// Whether this start may need a window of its own: it does not when it only
// prints (help, version, an error, the status), and cannot without a
// display to show one on.
bool needsWindow(const CommandLine& line, const QStringList& arguments);

// A start that opens no window: prints the help, the version or what is wrong
// with the command line, or hands the command to the copy that runs. Returns
// the exit code.
int runWithoutWindow(int argc, char** argv);

// Prints what the copy that runs answered; the exit code: 0 when it carried
// the command out, 1 when it did not (and said why), did not answer, or when
// no copy runs (`noneRuns` is said then).
int reportForwarded(const Forwarded& forwarded, const QString& noneRuns);

} // namespace hy
