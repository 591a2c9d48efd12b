#include "lang/Language.h"
#include "station/StationUi.h"

namespace orv {

QString StationText(int id) {
    return UiString(id);
}

QString ControlCaption(int id) {
    return UiCaption(kMainDialog, id);
}

QString MenuText(int command) {
    return UiMenuText(kMainMenu, command);
}

}  // namespace orv
