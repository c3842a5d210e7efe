#include "AccessibilityTree.h"

#include <QMetaEnum>

namespace veltrin::test {

namespace {

// Deeper than any view of ours; stops a tree that points back at itself.
constexpr int maximumDepth = 64;

// The web engine's interfaces come from code built without type information, which the
// sanitizer's check of every virtual call cannot verify; the calls themselves are sound.
#define VELTRIN_CALLS_FOREIGN_INTERFACES __attribute__((no_sanitize("vptr")))

VELTRIN_CALLS_FOREIGN_INTERFACES QString describe(const QAccessibleInterface& element)
{
    QString text = roleName(element.role());
    const QString name = element.text(QAccessible::Name);
    if (!name.isEmpty())
        text += QStringLiteral(" \"%1\"").arg(name);
    if (const QObject* object = element.object(); object && !object->objectName().isEmpty())
        text += QStringLiteral(" #") + object->objectName();
    return text;
}

VELTRIN_CALLS_FOREIGN_INTERFACES void collect(
    QAccessibleInterface* element, const QString& parentPath, int depth, QList<AccessibleElement>& out)
{
    if (!element || !element->isValid() || depth > maximumDepth)
        return;
    const QAccessible::State state = element->state();
    if (state.invisible)
        return;
    QObject* object = element->object();
    const QString path
        = parentPath.isEmpty() ? describe(*element) : parentPath + QStringLiteral(" > ") + describe(*element);
    out.append({
        .role = element->role(),
        .name = element->text(QAccessible::Name),
        .description = element->text(QAccessible::Description),
        .state = state,
        .object = object,
        .path = path,
    });
    // What a web view shows belongs to its page, not to the window around it.
    if (element->role() == QAccessible::WebDocument || (object && object->inherits("QWebEngineView")))
        return;
    const int count = element->childCount();
    for (int i = 0; i < count; ++i)
        collect(element->child(i), path, depth + 1, out);
}

} // namespace

QList<AccessibleElement> accessibleElements(QObject* root)
{
    QList<AccessibleElement> elements;
    collect(QAccessible::queryAccessibleInterface(root), QString(), 0, elements);
    return elements;
}

bool isInteractive(const AccessibleElement& element)
{
    switch (element.role) {
    case QAccessible::PushButton:
    case QAccessible::CheckBox:
    case QAccessible::RadioButton:
    case QAccessible::ComboBox:
    case QAccessible::SpinBox:
    case QAccessible::List:
    case QAccessible::ListItem:
    case QAccessible::Tree:
    case QAccessible::TreeItem:
    case QAccessible::Table:
    case QAccessible::Cell:
    case QAccessible::EditableText:
    case QAccessible::ButtonMenu:
    case QAccessible::ButtonDropDown:
    case QAccessible::MenuItem:
    case QAccessible::PopupMenu:
    case QAccessible::PageTab:
    case QAccessible::PageTabList:
    case QAccessible::Link:
    case QAccessible::WebDocument:
    case QAccessible::Document:
        return true;
    default:
        // A web view is a web area whatever role it reports.
        return element.state.focusable || (element.object && element.object->inherits("QWebEngineView"));
    }
}

QStringList unnamedInteractiveElements(QObject* root)
{
    QStringList unnamed;
    const QList<AccessibleElement> elements = accessibleElements(root);
    for (const AccessibleElement& element : elements)
        if (isInteractive(element) && element.name.trimmed().isEmpty())
            unnamed.append(element.path);
    return unnamed;
}

QString roleName(QAccessible::Role role)
{
    const char* key = QMetaEnum::fromType<QAccessible::Role>().valueToKey(role);
    return key ? QString::fromLatin1(key) : QString::number(int(role), 16);
}

} // namespace veltrin::test
