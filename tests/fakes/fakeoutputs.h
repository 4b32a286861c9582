#pragma once

#include "core/speech/outputdevices.h"

// The sound server's outputs as a test lists them.
class FakeOutputs final : public hy::IOutputDevices
{
public:
    void watch(std::function<void(const hy::OutputList&)> onChange) override
    {
        m_onChange = std::move(onChange);
    }
    // The server now has these outputs.
    void set(const hy::OutputList& outputs)
    {
        if (m_onChange)
            m_onChange(outputs);
    }

private:
    std::function<void(const hy::OutputList&)> m_onChange;
};
