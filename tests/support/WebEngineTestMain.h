#pragma once

// main() for QtTest executables that link the preview library and show web views: the preview's
// URL scheme is registered before any web engine profile exists, as the preview module does.

#include "SanitizerWebEngine.h"
#include "preview/HTMLPreviewView.h"

#include <QApplication>
#include <QTest>

#define VELTRIN_WEBENGINE_TEST_MAIN(TestObject)                                                              \
    int main(int argc, char* argv[])                                                                         \
    {                                                                                                        \
        veltrin::HTMLPreviewView::registerUrlScheme();                                                       \
        QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);                                          \
        QApplication app(argc, argv);                                                                        \
        TestObject test;                                                                                     \
        return QTest::qExec(&test, argc, argv);                                                              \
    }
