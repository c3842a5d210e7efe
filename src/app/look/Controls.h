#pragma once

#include "app/look/Style.h"

#include <QFrame>
#include <QString>

class QLabel;
class QPushButton;

namespace veltrin {

// Small building blocks shared by the full-window views: symbols as labels, the filled accent
// button, dividers and the translucent rounded box.
class Controls final {
public:
    enum class ControlSize { regular, large };

    // A symbol drawn at pixelSize in a label of its own.
    static QLabel* symbolLabel(
        const QString& symbolName, int pixelSize, const QColor& tint, QWidget* parent = nullptr);
    // A symbol filled with a soft top-to-bottom gradient of the accent blue.
    static QLabel* gradientSymbolLabel(const QString& symbolName, int pixelSize, QWidget* parent = nullptr);
    // Text shown exactly as given (never read as markup), in a style and colour.
    static QLabel* textLabel(
        const QString& text, const QFont& font, Style::Color color, QWidget* parent = nullptr);
    // The filled accent button; labelWidth fixes the width of its label area when positive.
    static QPushButton* prominentButton(
        const QString& text, ControlSize size, int labelWidth = 0, QWidget* parent = nullptr);
    // A borderless button showing only its label.
    static QPushButton* plainButton(QWidget* parent = nullptr);
    static QFrame* divider(QWidget* parent = nullptr);
    // A control that shows only a symbol is read out by the symbol's meaning; its tooltip
    // stays the description.
    static void nameBySymbol(QWidget* control, const QString& symbolName);
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
