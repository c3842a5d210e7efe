#pragma once

#include "app/look/ColorScheme.h"

#include <QString>
#include <QtPlugin>

#include <functional>

class QWidget;

namespace veltrin {

// What the editor needs of a preview. The web engine's implementation lives in a module loaded
// at run time, so this header holds only what both sides share; nothing here needs moc.
class PreviewView {
public:
    PreviewView() = default;
    virtual ~PreviewView() = default;
    Q_DISABLE_COPY_MOVE(PreviewView)

    virtual QWidget* widget() = 0;
    // Builds the page and loads it again, whether or not the inputs changed.
    virtual void updatePage(const QString& htmlContent, ColorScheme colorScheme) = 0;
    virtual QString htmlContent() const = 0;
    virtual ColorScheme colorScheme() const = 0;
    // Called after each load with whether the page loaded.
    virtual void setLoadFinishedHandler(std::function<void(bool)> handler) = 0;
};

// The entry of the preview module.
class PreviewFactory {
public:
    PreviewFactory() = default;
    virtual ~PreviewFactory() = default;
    Q_DISABLE_COPY_MOVE(PreviewFactory)

    // The view belongs to the parent, as any child widget does.
    virtual PreviewView* createPreview(QWidget* parent) = 0;
};

// A preview for the editor: the module's once it is loaded, else one line saying why there is none.
PreviewView* createPreviewView(QWidget* parent);

} // namespace veltrin

#define VeltrinPreviewFactory_iid "org.veltrin.Veltrin.PreviewFactory/1"
Q_DECLARE_INTERFACE(veltrin::PreviewFactory, VeltrinPreviewFactory_iid)
