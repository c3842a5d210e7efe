#pragma once

#include <QObject>

namespace veltrin {

class Appearance;

// Keeps the application palette on the appearance's scheme: every widget receives a
// PaletteChange when the desktop switches between light and dark, and restyles from it.
class AppearancePalette final : public QObject {
    Q_OBJECT

public:
    explicit AppearancePalette(Appearance& appearance, QObject* parent = nullptr);
    Q_DISABLE_COPY_MOVE(AppearancePalette)
};

} // namespace veltrin
