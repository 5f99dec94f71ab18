#include "ui/error_box.h"

namespace brunvald::ui {

void ShowErrorBox(HostOps& host, const HostError& error, UnitLowerCaser lower) {
    // The box shows the message only; where it arose goes to the trace.
    host.WriteTrace(ErrorTraceLine(error));
    host.ShowMessageBox(ErrorBoxText(error.message()), ErrorBoxCaption(host.ProgramPath(), lower), kIconError);
}

}  // namespace brunvald::ui
