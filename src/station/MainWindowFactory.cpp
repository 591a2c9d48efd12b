#include "station/MainWindowFactory.h"

#include "shell/AppOptions.h"
#include "shell/PlaceholderWindow.h"

namespace orv {

std::unique_ptr<QWidget> CreateMainWindow(const AppOptions& /*options*/) {
    return std::make_unique<CPlaceholderWindow>();
}

}  // namespace orv
