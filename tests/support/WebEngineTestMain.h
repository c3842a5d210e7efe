#pragma once

// main() for QtTest executables that show web views: the preview's URL scheme is registered
// before any web engine profile exists, as the application's main() does.

#include "preview/HTMLPreviewView.h"

#include <QApplication>
#include <QTest>

#if defined(__SANITIZE_ADDRESS__)
// The web engine's own code frees objects with a mismatched sized delete; that is not ours
// to fix, and AddressSanitizer would stop at the first page load.
extern "C" const char* __asan_default_options()
{
    return "new_delete_type_mismatch=0";
}
#endif

#define VELTRIN_WEBENGINE_TEST_MAIN(TestObject)                                                                        \
    int main(int argc, char* argv[])                                                                                   \
    {                                                                                                                  \
        veltrin::HTMLPreviewView::registerUrlScheme();                                                                 \
        QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);                                                    \
        QApplication app(argc, argv);                                                                                  \
        TestObject test;                                                                                               \
        return QTest::qExec(&test, argc, argv);                                                                        \
    }
