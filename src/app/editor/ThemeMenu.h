#pragma once

#include "app/editor/EditorModes.h"

#include <QMenu>
#include <QWidget>

class QWidgetAction;

namespace veltrin {

class ThemeMenu;

// One theme in the theme menu: its symbol, its name and, for the current theme, a checkmark.
// Highlighted while it is the menu's active row, whether the mouse or the keyboard made it so.
class ThemeMenuRow final : public QWidget {
    Q_OBJECT

public:
    ThemeMenuRow(PreviewTheme theme, QWidgetAction* action, ThemeMenu* menu);
    Q_DISABLE_COPY_MOVE(ThemeMenuRow)

    PreviewTheme theme() const { return m_theme; }
    bool isCurrent() const { return m_current; }
    void setCurrent(bool current);
    bool isHighlighted() const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    ThemeMenu* m_menu;
    QWidgetAction* m_action;
    PreviewTheme m_theme;
    bool m_current = false;
};

// The menu of the preview themes, one row per theme in case order.
class ThemeMenu final : public QMenu {
    Q_OBJECT

public:
    explicit ThemeMenu(QWidget* parent = nullptr);
    Q_DISABLE_COPY_MOVE(ThemeMenu)

    void setCurrentTheme(PreviewTheme theme);
    QList<ThemeMenuRow*> rows() const { return m_rows; }

Q_SIGNALS:
    void themeChosen(veltrin::PreviewTheme theme);

private:
    QList<ThemeMenuRow*> m_rows;
};

} // namespace veltrin
