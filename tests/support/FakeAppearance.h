#pragma once

#include "platform/Appearance.h"

namespace veltrin::test {

// A desktop whose light or dark preference the test switches.
class FakeAppearance final : public Appearance {
public:
    explicit FakeAppearance(ColorScheme scheme = ColorScheme::light)
        : m_scheme(scheme)
    {
    }

    ColorScheme colorScheme() const override { return m_scheme; }
    void setColorScheme(ColorScheme scheme)
    {
        if (scheme == m_scheme)
            return;
        m_scheme = scheme;
        Q_EMIT colorSchemeChanged(scheme);
    }

private:
    ColorScheme m_scheme;
};

} // namespace veltrin::test
