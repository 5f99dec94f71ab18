#include "ui/error_box.h"

namespace brunvald::ui {

void ShowErrorBox(HostOps& host, const HostError& error, UnitLowerCaser lower) {
    host.ShowMessageBox(ErrorBoxText(error.message()), ErrorBoxCaption(host.ProgramPath(), lower), kIconError);
}

}  // namespace brunvald::ui
