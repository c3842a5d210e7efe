#pragma once

#include "app/look/ColorScheme.h"

#include <QStackedWidget>

#include <optional>

class QLabel;

namespace veltrin {

class CodeEditor;
class PreviewView;

// The editor's content area: the loading placeholder, the preview, the code editor, or an empty
// page while the signature could not be loaded.
class EditorContent final : public QStackedWidget {
    Q_OBJECT

public:
    explicit EditorContent(QWidget* parent = nullptr);
    Q_DISABLE_COPY_MOVE(EditorContent)

    CodeEditor* codeEditor() const { return m_codeEditor; }
    PreviewView* preview() const { return m_preview; }

    void showLoading();
    void showNothing();
    // Builds the page again when it comes back or when either input changed.
    void showPreview(const QString& html, ColorScheme scheme);
    void showCode();
    // The appearance of the preview's and the code editor's background and text.
    void setContentScheme(ColorScheme scheme);

protected:
    void changeEvent(QEvent* event) override;

private:
    void restyle();

    QWidget* m_loadingPage;
    QLabel* m_loadingText;
    QWidget* m_emptyPage;
    QWidget* m_previewPage;
    QWidget* m_previewBackground;
    PreviewView* m_preview;
    QWidget* m_codePage;
    CodeEditor* m_codeEditor;
    std::optional<ColorScheme> m_contentScheme;
};

} // namespace veltrin
