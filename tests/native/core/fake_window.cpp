#include "tests/native/core/fake_window.h"

#include "host/host_rules.h"

namespace brunvald::testing {

void FakeWindow::SetUpWindow(InstallerMode mode) {
    if (setUpFails) throw HostError(ResourceNotFoundMessage(u"TTF"));
    setUpMode = mode;
}

// Like the real bar, setting the percent it already shows changes nothing.
void FakeWindow::SetProgressPercent(unsigned value) {
    ++percentCalls;
    if (value == percent) return;
    percent = value;
    percentChanges.push_back(value);
}

}  // namespace brunvald::testing
