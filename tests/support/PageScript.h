#pragma once

#include <QTest>
#include <QVariant>
#include <QWebEnginePage>
#include <QWebEngineScript>

namespace veltrin::test {

// Runs a script of the test's own on the page and waits for its result. Page scripts are off; the
// test's run in a world of their own, on the same document.
inline QVariant evaluate(QWebEnginePage* page, const QString& script)
{
    QVariant result;
    bool done = false;
    page->runJavaScript(script, QWebEngineScript::ApplicationWorld, [&](const QVariant& value) {
        result = value;
        done = true;
    });
    if (!QTest::qWaitFor([&] { return done; }, 10000))
        qWarning("script did not finish: %s", qPrintable(script));
    return result;
}

} // namespace veltrin::test
