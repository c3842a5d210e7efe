#include "app/look/AppearancePalette.h"

#include "app/look/Style.h"
#include "platform/Appearance.h"

#include <QApplication>

namespace veltrin {

AppearancePalette::AppearancePalette(Appearance& appearance, QObject* parent)
    : QObject(parent)
{
    QApplication::setPalette(Style::palette(appearance.colorScheme()));
    connect(&appearance, &Appearance::colorSchemeChanged, this,
        [](ColorScheme scheme) { QApplication::setPalette(Style::palette(scheme)); });
}

} // namespace veltrin
