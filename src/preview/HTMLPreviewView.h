#pragma once

#include "app/editor/PreviewView.h"
#include "app/look/ColorScheme.h"

#include <QColor>
#include <QString>
#include <QWebEngineView>

class QWebEngineProfile;

namespace veltrin {

class PreviewPage;
class PreviewRequestInterceptor;
class PreviewSchemeHandler;

// Shows a signature's HTML inside a small page that sets the colours of the scheme. The page is
// a sandbox: no script runs, it never leaves for another page, opens nothing and reaches
// nothing on this machine or its network; it is served from memory, never from disk.
class HTMLPreviewView final : public QWebEngineView, public PreviewView {
    Q_OBJECT

public:
    explicit HTMLPreviewView(QWidget* parent = nullptr);
    ~HTMLPreviewView() override;
    Q_DISABLE_COPY_MOVE(HTMLPreviewView)

    // Must run before any web engine profile exists.
    static void registerUrlScheme();

    // The page around the content; the content goes in unchanged.
    static QString pageText(const QString& htmlContent, ColorScheme colorScheme);
    // The colour behind the page, shown before and while it renders.
    static QColor layerColor(ColorScheme colorScheme);

    QWidget* widget() override { return this; }
    void updatePage(const QString& htmlContent, ColorScheme colorScheme) override;
    QString htmlContent() const override { return m_htmlContent; }
    ColorScheme colorScheme() const override { return m_colorScheme; }
    void setLoadFinishedHandler(std::function<void(bool)> handler) override;

    PreviewPage* previewPage() const { return m_page; }

protected:
    // Copying only: nothing that navigates, reloads or saves.
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    QWebEngineProfile* m_profile = nullptr;
    PreviewSchemeHandler* m_schemeHandler = nullptr;
    PreviewRequestInterceptor* m_interceptor = nullptr;
    PreviewPage* m_page = nullptr;
    QString m_htmlContent;
    ColorScheme m_colorScheme = ColorScheme::light;
};

} // namespace veltrin
