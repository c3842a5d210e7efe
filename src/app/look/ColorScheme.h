#pragma once

namespace veltrin {

// The appearance a view is drawn in.
enum class ColorScheme { light, dark };

} // namespace veltrin
