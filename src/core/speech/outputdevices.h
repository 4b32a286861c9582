#pragma once

#include <QString>
#include <functional>
#include <vector>

namespace hy {

// One output of the sound server: the name it goes by and the description
// the desktop shows for it.
struct OutputDevice
{
    QString name;
    QString description;
    bool operator==(const OutputDevice&) const = default;
};

using OutputList = std::vector<OutputDevice>;

// The sound server's outputs as they come and go.
class IOutputDevices
{
public:
    virtual ~IOutputDevices() = default;
    // From now on, `onChange` gets the whole list on the calling (GUI)
    // thread, first as soon as it is known and then at every change; an
    // empty list while there is no sound server.
    virtual void watch(std::function<void(const OutputList&)> onChange) = 0;
};

// Whether the chosen output (empty: the default) is not among `outputs`, so
// that the default plays instead.
inline bool outputMissing(const QString& chosen, const OutputList& outputs)
{
    if (chosen.isEmpty())
        return false;
    for (const OutputDevice& d : outputs) {
        if (d.name == chosen)
            return false;
    }
    return true;
}

} // namespace hy
