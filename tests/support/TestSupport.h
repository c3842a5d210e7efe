#pragma once

#include <QByteArray>
#include <QDir>
#include <QPalette>
#include <QString>
#include <QStringList>

#include <optional>

namespace veltrin::test {

// Absolute path of a file below tests/fixtures.
QString fixturePath(const QString& relativePath);

// Contents of a fixture; fails the calling test when the file can't be read.
QByteArray readFixture(const QString& relativePath);

// Writes bytes to a path, creating parent folders; returns false on failure.
bool writeFile(const QString& path, const QByteArray& bytes);

// A dark desktop palette, as a dark appearance gives it, for views that follow the desktop.
QPalette darkPalette();

// The folder a person asked screenshots to go to: $VELTRIN_SCREENSHOTS, made when missing; none
// when unset or when it can't be made.
std::optional<QDir> requestedScreenshotDir();
// Where tests put the screenshots they take: the requested folder when there is one (to look at
// them), else a temporary folder removed at exit.
QDir screenshotDir();

// Whether this is CI's run, where a test that needs root or a package must run: a skip there is
// a failure.
bool inCi();
// Puts at `path` what may stand where a file is expected: "outside link" (a symbolic link to
// `linkTarget`), "zero link" (to /dev/zero), "fifo", or "device" (a character device, which needs
// CAP_MKNOD). False when it could not be made.
bool placeNonRegularFile(const QByteArray& path, const QString& kind, const QByteArray& linkTarget);

// The variables through which the desktop names its proxies. Tests whose servers stand on this
// machine clear them, so that a developer's proxy neither sees their requests nor breaks them.
QStringList proxyVariables();
// Clears them in this process.
void clearProxyVariables();

} // namespace veltrin::test
