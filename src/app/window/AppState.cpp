#include "app/window/AppState.h"

namespace veltrin {

const char* toString(AppState state)
{
    switch (state) {
    case AppState::loading:
        return "loading";
    case AppState::onboarding:
        return "onboarding";
    case AppState::empty:
        return "empty";
    case AppState::list:
        return "list";
    }
    return "?";
}

} // namespace veltrin
