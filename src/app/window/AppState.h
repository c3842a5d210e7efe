#pragma once

#include <QMetaType>

namespace veltrin {

// What the window shows: a load waiting for its recomputation, the onboarding flow, the
// notice that no signature was found, or the list with its editor.
enum class AppState { loading, onboarding, empty, list };

const char* toString(AppState state);

} // namespace veltrin

Q_DECLARE_METATYPE(veltrin::AppState)
