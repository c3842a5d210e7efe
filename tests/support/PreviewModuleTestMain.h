#pragma once

// main() for QtTest executables of the application that want real previews: they load the
// preview module from the build tree, as the application loads it from beside itself.

#include "SanitizerWebEngine.h"
#include "app/editor/PreviewModule.h"

#include <QApplication>
#include <QTest>

#define VELTRIN_PREVIEW_MODULE_TEST_MAIN(TestObject)                                                         \
    int main(int argc, char* argv[])                                                                         \
    {                                                                                                        \
        QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);                                          \
        QApplication app(argc, argv);                                                                        \
        veltrin::PreviewModule::setSearchPaths({ QStringLiteral(VELTRIN_PREVIEW_MODULE_BUILD_DIR) });        \
        TestObject test;                                                                                     \
        return QTest::qExec(&test, argc, argv);                                                              \
    }
