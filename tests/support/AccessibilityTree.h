#pragma once

#include <QAccessible>
#include <QList>
#include <QPointer>
#include <QString>
#include <QStringList>

namespace veltrin::test {

// One element of the accessibility tree, as a screen reader meets it.
struct AccessibleElement {
    QAccessible::Role role = QAccessible::NoRole;
    QString name;
    QString description;
    QAccessible::State state;
    // The object behind the element; null for items such as list rows.
    QPointer<QObject> object;
    // Role and name of every element from the root down to this one, for messages.
    QString path;
};

// Every element below root, root included, that is not invisible, depth first in the tree's
// order. A web view is a leaf here: what is inside belongs to the page it shows.
QList<AccessibleElement> accessibleElements(QObject* root);

// What a user acts on: buttons, check and radio buttons, combo and spin boxes, lists, trees and
// tables with their items, text editors, menu items and pop-up menus, page tabs, links, web areas and
// documents, and anything else that takes keyboard focus.
bool isInteractive(const AccessibleElement& element);

// The paths of the interactive elements below root that have no name; empty when all have one.
QStringList unnamedInteractiveElements(QObject* root);

QString roleName(QAccessible::Role role);

} // namespace veltrin::test
