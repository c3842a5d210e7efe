#include "app/editor/SegmentButton.h"

#include <QAccessibleWidget>

namespace veltrin {

namespace {

class AccessibleSegment final : public QAccessibleWidget {
public:
    explicit AccessibleSegment(SegmentButton* button)
        : QAccessibleWidget(button, QAccessible::RadioButton)
    {
    }

    QString text(QAccessible::Text t) const override
    {
        QString text = QAccessibleWidget::text(t);
        if (t == QAccessible::Name && text.isEmpty())
            text = button()->text();
        return text;
    }

    QAccessible::State state() const override
    {
        QAccessible::State state = QAccessibleWidget::state();
        state.checkable = true;
        state.checked = button()->isChecked();
        return state;
    }

    QStringList actionNames() const override { return { pressAction(), setFocusAction() }; }

    void doAction(const QString& actionName) override
    {
        if (actionName == pressAction())
            button()->click();
        else
            QAccessibleWidget::doAction(actionName);
    }

private:
    QAbstractButton* button() const { return static_cast<QAbstractButton*>(widget()); }
};

QAccessibleInterface* segmentFactory(const QString& className, QObject* object)
{
    if (className == QLatin1String(SegmentButton::staticMetaObject.className()) && object->isWidgetType())
        return new AccessibleSegment(static_cast<SegmentButton*>(object));
    return nullptr;
}

} // namespace

SegmentButton::SegmentButton(const QString& text, QWidget* parent)
    : QPushButton(text, parent)
{
    static const bool installed = [] {
        QAccessible::installFactory(segmentFactory);
        return true;
    }();
    Q_UNUSED(installed);
    setCheckable(true);
}

} // namespace veltrin
