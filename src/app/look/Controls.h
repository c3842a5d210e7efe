#pragma once

#include "app/look/Style.h"

#include <QFrame>
#include <QString>

class QLabel;
class QPushButton;

namespace veltrin {

// The one set of building blocks for every view: symbols as labels, texts, the filled accent
// button, the plain button, dividers and the translucent rounded box. Whatever takes a named
// colour (Style::Color) resolves it again when the appearance changes, so nothing built here
// keeps the colours of the appearance it was built in.
class Controls final {
public:
    enum class ControlSize { regular, large };

    // A symbol drawn at pixelSize in a label of its own, in a fixed colour.
    static QLabel* symbolLabel(
        const QString& symbolName, int pixelSize, const QColor& tint, QWidget* parent = nullptr);
    // The same in a named colour that follows the appearance.
    static QLabel* symbolLabel(
        const QString& symbolName, int pixelSize, Style::Color tint, QWidget* parent = nullptr);
    // A symbol filled with a soft top-to-bottom gradient of the accent blue.
    static QLabel* gradientSymbolLabel(const QString& symbolName, int pixelSize, QWidget* parent = nullptr);
    // A symbol before a text, both in one named colour (the platform's Label). The text label
    // moves into the returned row; give it its font first, the symbol is sized from it.
    static QWidget* label(
        const QString& symbolName, QLabel* text, Style::Color color, QWidget* parent = nullptr);
    // Text shown exactly as given (never read as markup), in a style and colour.
    static QLabel* textLabel(
        const QString& text, const QFont& font, Style::Color color, QWidget* parent = nullptr);
    // Sets the text colour of a label, button or text field to a named colour, and keeps it
    // on that name through every later change of the appearance.
    static void setTextColor(QWidget* widget, Style::Color color);

    // The filled accent button; labelWidth fixes the width of its label area when positive.
    // Keyboard focus shows as a ring around it.
    static QPushButton* prominentButton(
        const QString& text, ControlSize size, int labelWidth = 0, QWidget* parent = nullptr);
    // A borderless button showing only its label, in its text colour (setTextColor).
    static QPushButton* plainButton(QWidget* parent = nullptr);
    // A borderless button showing only a symbol, tinted with its text colour.
    static QPushButton* plainSymbolButton(
        const QString& symbolName, int pixelSize, QWidget* parent = nullptr);
    // A one-pixel line in the separator colour.
    static QFrame* divider(QWidget* parent = nullptr);
    // A control that shows only a symbol is read out by the symbol's meaning; its tooltip
    // stays the description.
    static void nameBySymbol(QWidget* control, const QString& symbolName);
    // A tooltip that shows the text exactly as given: Qt reads a tooltip that looks like markup
    // as markup, so such a text is converted; any other stays as it is.
    static QString plainToolTip(const QString& text);

    // Width of the keyboard focus ring drawn outside a button's body.
    static constexpr int focusRingWidth = 3;
};

// The regular material behind a group of controls: a translucent fill clipped to rounded corners.
class MaterialBox final : public QFrame {
    Q_OBJECT

public:
    explicit MaterialBox(int cornerRadius, QWidget* parent = nullptr);
    Q_DISABLE_COPY_MOVE(MaterialBox)

    int cornerRadius() const { return m_cornerRadius; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int m_cornerRadius;
};

} // namespace veltrin
