// An InstallerWindow that records what the logic asks of it.
#pragma once

#include <optional>
#include <vector>

#include "core/program_state.h"

namespace brunvald::testing {

class FakeWindow final : public InstallerWindow {
public:
    void SetTitleText(const Text& text) override { titleText = text; }
    void SetUpWindow(InstallerMode mode) override;
    void ShowProgressBar() override { progressVisible = true; }
    unsigned ProgressPercent() const override { return percent; }
    void SetProgressPercent(unsigned value) override;
    std::uintptr_t NativeHandle() const override { return 0x1234; }

    std::optional<Text> titleText;
    std::optional<InstallerMode> setUpMode;
    bool setUpFails = false;  // SetUpWindow raises the font's resource error
    bool progressVisible = false;
    unsigned percent = 0;
    std::vector<unsigned> percentChanges;  // only values that differ from before
    int percentCalls = 0;
    // Set where the window closes after a handler's CloseWindow (scene.h's
    // Conclude), as the real window does.
    bool closed = false;
};

}  // namespace brunvald::testing
