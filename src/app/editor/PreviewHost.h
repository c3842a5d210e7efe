#pragma once

#include "app/editor/PreviewView.h"

#include <QWidget>

namespace veltrin {

class ElidingLabel;

// Stands in the editor for the module's preview: makes it when a page is first needed, or
// shows in one line why there is none.
class PreviewHost final : public QWidget, public PreviewView {
    Q_OBJECT

public:
    explicit PreviewHost(QWidget* parent = nullptr);
    ~PreviewHost() override;
    Q_DISABLE_COPY_MOVE(PreviewHost)

    QWidget* widget() override { return this; }
    void updatePage(const QString& htmlContent, ColorScheme colorScheme) override;
    QString htmlContent() const override { return m_htmlContent; }
    ColorScheme colorScheme() const override { return m_colorScheme; }
    void setLoadFinishedHandler(std::function<void(bool)> handler) override;

    // The module's view, once made.
    PreviewView* preview() const { return m_preview; }
    // The line shown in place of the preview; empty while there is none.
    QString unavailableText() const;

Q_SIGNALS:
    void loadFinished(bool ok);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    PreviewView* m_preview = nullptr;
    ElidingLabel* m_unavailable = nullptr;
    QString m_htmlContent;
    ColorScheme m_colorScheme = ColorScheme::light;
};

} // namespace veltrin
