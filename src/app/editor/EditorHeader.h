#pragma once

#include "app/editor/EditorModes.h"

#include <QWidget>

#include <optional>

class QAbstractButton;
class QLabel;
class QPushButton;
class QStackedWidget;
class QToolButton;

namespace veltrin {

class ElidingLabel;
class ThemeMenu;

// The editor's header bar: the signature's name and path, the mode picker, and below a divider
// the error line and the theme control.
class EditorHeader final : public QWidget {
    Q_OBJECT

public:
    explicit EditorHeader(QWidget* parent = nullptr);
    Q_DISABLE_COPY_MOVE(EditorHeader)

    void setTitles(const QString& displayName, const QString& filePath);
    void setViewMode(ViewMode mode);
    // No message hides the line; Dismiss shows only for a dismissible one.
    void setErrorLine(const std::optional<QString>& message, bool dismissible);
    void setPreviewTheme(PreviewTheme theme);

Q_SIGNALS:
    void viewModeChosen(veltrin::ViewMode mode);
    void themeChosen(veltrin::PreviewTheme theme);
    void dismissClicked();

protected:
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void restyle();

    ElidingLabel* m_nameLabel;
    ElidingLabel* m_pathLabel;
    QAbstractButton* m_previewButton = nullptr;
    QAbstractButton* m_codeButton = nullptr;
    QWidget* m_picker;
    QWidget* m_errorLine;
    QLabel* m_errorIcon;
    ElidingLabel* m_errorText;
    QPushButton* m_dismissButton;
    QStackedWidget* m_themeControl;
    QToolButton* m_themeButton;
    ThemeMenu* m_themeMenu;
    QWidget* m_themeBlank;
    PreviewTheme m_theme = PreviewTheme::system;
    // The theme button is too small to hold its focus ring: the header draws it around the button.
    bool m_themeButtonRing = false;
};

} // namespace veltrin
