#pragma once

#include <functional>

class QObject;
class QWidget;

namespace veltrin {

// Work that can wait until the user sees the window: runs once, when the event loop is next
// free after the window's first exposure, unless `context` is gone by then.
void afterFirstFrame(QWidget* window, QObject* context, std::function<void()> action);

} // namespace veltrin
