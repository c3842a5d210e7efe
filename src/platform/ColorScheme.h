#pragma once

namespace veltrin {

// The appearance something is drawn in.
enum class ColorScheme { light, dark };

} // namespace veltrin
