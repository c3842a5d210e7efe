#pragma once

#include "app/look/ColorScheme.h"

#include <QColor>
#include <QString>
#include <QWebEngineView>

class QWebEngineProfile;

namespace veltrin {

class PreviewPage;
class PreviewSchemeHandler;

// Shows a signature's HTML inside a small page that sets the colours of the scheme.
// Links are not followed; the page is served from memory, never from disk.
class HTMLPreviewView final : public QWebEngineView {
    Q_OBJECT

public:
    explicit HTMLPreviewView(QWidget* parent = nullptr);
    ~HTMLPreviewView() override;
    Q_DISABLE_COPY_MOVE(HTMLPreviewView)

    // Call first thing in main(), before any web engine profile exists.
    static void registerUrlScheme();

    // The page around the content; the content goes in unchanged.
    static QString pageText(const QString& htmlContent, ColorScheme colorScheme);
    // The colour behind the page, shown before and while it renders.
    static QColor layerColor(ColorScheme colorScheme);

    // Builds the page and loads it again, whether or not the inputs changed.
    void updatePage(const QString& htmlContent, ColorScheme colorScheme);

    QString htmlContent() const { return m_htmlContent; }
    ColorScheme colorScheme() const { return m_colorScheme; }
    PreviewPage* previewPage() const { return m_page; }

private:
    QWebEngineProfile* m_profile = nullptr;
    PreviewSchemeHandler* m_schemeHandler = nullptr;
    PreviewPage* m_page = nullptr;
    QString m_htmlContent;
    ColorScheme m_colorScheme = ColorScheme::light;
};

} // namespace veltrin
