// The Window edge over the monitor dialog. The core hands over every value
// every tick; a control's text is replaced only when it differs from what the
// control shows, so a dialog at rest is never repainted. The new texts are
// shown once the message that wrote them has been handled (showPending), so
// that drawing them never delays what the tick sends.
#pragma once

#include <windows.h>

#include <array>

#include "base/edges.h"

namespace hub::windows {

class DialogWindow final : public Window {
public:
    void attach(HWND dialog) { dialog_ = dialog; }
    // The timer that drives the tick, one message a tick period.
    void startTimer();

    void setText(int controlId, std::string_view text) override;
    // Shows the texts written since the last call, each control's latest.
    void showPending();
    void enable(int controlId, bool enabled) override;
    void messageBox(std::string_view text, std::string_view caption) override;
    void stopTimer() override;
    void endDialog(int result) override;

private:
    static constexpr UINT_PTR kTimerId = 0;
    static constexpr int kTextCapacity = 512;
    static constexpr int kFirstCachedId = 1000;
    static constexpr int kCachedIds = 100;

    // What a control shows, read from it once and then kept up to date, and
    // the text it is to show next.
    struct Shown {
        HWND control = nullptr;
        bool known = false;
        bool pending = false;  // `text` is not shown yet
        int length = 0;
        wchar_t text[kTextCapacity];
    };
    Shown* shownFor(int controlId);

    HWND dialog_ = nullptr;
    std::array<Shown, kCachedIds> shown_{};
};

}  // namespace hub::windows
