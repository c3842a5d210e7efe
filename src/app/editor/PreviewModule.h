#pragma once

#include <QString>
#include <QStringList>

class QWidget;

namespace veltrin {

class PreviewFactory;

// Finds and loads the preview module, once per process: on first need, or just after the first
// window has been drawn, whichever comes first. The executable does not link the web engine.
class PreviewModule final {
public:
    PreviewModule() = delete;

    // The module's factory, loading it now if that has not been tried; nullptr when it can't be had.
    static PreviewFactory* factory();
    // Why factory() gave nullptr, in one line.
    static QString errorString();
    // Loads the module right after the window is first exposed and drawn.
    static void loadAfterFirstShow(QWidget* window);

    // Beside the executable, then the folder the build configured.
    static QStringList searchPaths();
    // Tests point the search elsewhere; it counts until a module has been loaded.
    static void setSearchPaths(const QStringList& folders);
    static QString fileName();
};

} // namespace veltrin
