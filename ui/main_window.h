// MainWindow: the installer's one window. A frameless popup shaped like its
// picture, carrying the title labels, the progress bar and the image buttons.
// One C++ object per window; the window procedure is a thin switch that calls
// the On... members. Win32 only.
#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include "core/program_state.h"
#include "host/unique_handle.h"
#include "ui/shaped_picture.h"
#include "ui/image_button.h"
#include "ui/progress_bar.h"
#include "ui/title_label.h"

namespace brunvald::ui {

// The procedures the window's handlers run. The program passes core's
// (FormCreate, InstallRun, UninstallRun); tests pass recorders. Each says
// whether the window stays or closes.
using RunProcedure = AfterHandler (*)(HostOps&, InstallerWindow&, ProgramState&);
struct WindowHandlers {
    RunProcedure formCreate = nullptr;
    RunProcedure installRun = nullptr;
    RunProcedure uninstallRun = nullptr;
};

class MainWindow final : public InstallerWindow {
public:
    static constexpr const wchar_t* kClassName = L"TMain";
    enum ButtonId : int { kIdInstallieren = 101, kIdDeinstallieren = 102, kIdBeenden = 103 };

    MainWindow(HostOps& host, ProgramState& state, WindowHandlers handlers, HINSTANCE instance);
    ~MainWindow() override;
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    // Creates the window hidden, with its picture, labels, bar and buttons at
    // their stored places. False when the platform refuses the class or a
    // window.
    bool Create();

    // The creation handler: start-up through handlers.formCreate. A refusal
    // closes the window before it was ever shown and is returned, so that the
    // program ends without showing it. An error it raises is shown in the
    // error box; the window then opens with what the completed steps left,
    // and its action buttons stay disabled unless start-up declared the state
    // ready for a run.
    AfterHandler FormCreate();
    // Shows the window, once: the region is in place before it is first
    // visible, and it opens centred on the desktop of all monitors. Its
    // icons (for the taskbar button) are set just after.
    void ShowCentred();
    // Keyboard handling of the message loop (Tab, Shift+Tab, Enter, Esc),
    // in the manner of a dialog. True when the message was consumed.
    bool PreTranslateMessage(const MSG& message);
    // Runs the message loop until the window has closed; returns 0.
    int RunMessageLoop();

    // InstallerWindow
    void SetTitleText(const Text& text) override;
    void SetUpWindow(InstallerMode mode) override;
    void ShowProgressBar() override;
    unsigned ProgressPercent() const override;
    void SetProgressPercent(unsigned percent) override;
    std::uintptr_t NativeHandle() const override;

    HWND hwnd() const noexcept { return window_.get(); }

    // --- Seams for tests -------------------------------------------------
    // Paints the windowless parts (picture, labels, bar) into dc in client
    // coordinates, exactly as WM_PAINT puts them on the screen.
    void PaintClient(HDC dc) const;
    // What WM_PAINT does for the part `area` of the client: the button face
    // and PaintClient composed in a buffer of that part's size, then copied
    // into dc (client coordinates) at once. Nothing outside `area` changes.
    void PaintArea(HDC dc, const RECT& area) const;
    const ImageButton& button(ButtonId id) const;
    const TitleLabel& prgNameBlack() const noexcept { return prgNameBlack_; }
    const TitleLabel& prgNameYellow() const noexcept { return prgNameYellow_; }
    GradientBar& progressBar() noexcept { return progressBar_; }
    ShapedPicture& shapedPicture() noexcept { return *picture_; }
    // The face and character height the window's font has now.
    const Text& fontFace() const noexcept { return fontFace_; }
    std::int32_t fontHeight() const noexcept { return fontHeight_; }

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept;
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);

    void OnPaint();
    void OnShowWindow(bool shown);
    void OnMousePress(std::int32_t x, std::int32_t y);
    void OnCommand(int id);
    // The button handlers. A run that ends the program returns CloseWindow;
    // the command handler then closes the window, and the message loop ends.
    // Beenden closes it as a close box would (WM_CLOSE).
    AfterHandler InstallierenClick();
    AfterHandler DeinstallierenClick();
    void BeendenClick();
    void OnDrawItem(const DRAWITEMSTRUCT& item);
    void OnDestroy();

    bool RegisterWindowClass() const;
    void SetIcons() const;
    void MoveFocus(bool backwards);
    void FocusFirstButton();
    std::size_t FocusCandidates(std::array<HWND, 3>& candidates) const;
    void ApplyRunReadiness();
    void ShowHostError(const HostError& error);
    AfterHandler StartRun(RunProcedure run);
    void Conclude(AfterHandler next);
    void RedrawLabels();

    HostOps& host_;
    ProgramState& state_;
    WindowHandlers handlers_;
    HINSTANCE instance_;

    unique_hwnd window_;
    std::unique_ptr<ShapedPicture> picture_;
    TitleLabel prgNameBlack_;
    TitleLabel prgNameYellow_;
    GradientBar progressBar_;
    ImageButton installieren_;
    ImageButton deinstallieren_;
    ImageButton beenden_;

    Text fontFace_;
    std::int32_t fontHeight_ = kStoredFontHeight;
    unique_hfont windowFont_;
    unique_font_mem titleFont_;  // registered for this process; never used by handle
    bool shown_ = false;
    // Set while a run works. A run's message box dispatches what is posted to
    // the window meanwhile; a click among it must not start a second run
    // inside the first.
    bool running_ = false;
};

}  // namespace brunvald::ui
