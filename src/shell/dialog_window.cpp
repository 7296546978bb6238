#include "shell/dialog_window.h"

#include <cwchar>
#include <string>

#include "engine/hub.h"
#include "devices/wide_text.h"

namespace hub::windows {

DialogWindow::Shown* DialogWindow::shownFor(int controlId) {
    const int slot = controlId - kFirstCachedId;
    if (slot < 0 || slot >= kCachedIds) return nullptr;
    Shown& shown = shown_[static_cast<std::size_t>(slot)];
    if (!shown.known) {
        shown.control = GetDlgItem(dialog_, controlId);
        shown.length = GetWindowTextW(shown.control, shown.text, kTextCapacity);
        shown.known = true;
    }
    return &shown;
}

void DialogWindow::setText(int controlId, std::string_view text) {
    wchar_t wide[kTextCapacity];
    const int length = widenInto(text, wide, kTextCapacity - 1);
    Shown* shown = shownFor(controlId);
    if (length < 0 || shown == nullptr) {  // too long to keep, or a control outside the cache: just write it
        SetDlgItemTextW(dialog_, controlId, widen(text).c_str());
        if (shown != nullptr) shown->known = shown->pending = false;
        return;
    }
    if (shown->length == length && std::wmemcmp(shown->text, wide, static_cast<std::size_t>(length)) == 0) return;
    wide[length] = L'\0';
    std::wmemcpy(shown->text, wide, static_cast<std::size_t>(length) + 1);
    shown->length = length;
    shown->pending = true;
}

void DialogWindow::showPending() {
    for (Shown& shown : shown_) {
        if (!shown.pending) continue;
        shown.pending = false;
        SetWindowTextW(shown.control, shown.text);
    }
}

void DialogWindow::enable(int controlId, bool enabled) {
    EnableWindow(GetDlgItem(dialog_, controlId), enabled ? TRUE : FALSE);
}

void DialogWindow::messageBox(std::string_view text, std::string_view caption) {
    showPending();  // the dialog behind the box shows what led to it
    MessageBoxW(nullptr, widen(text).c_str(), widen(caption).c_str(), MB_OK | MB_ICONERROR);
}

void DialogWindow::startTimer() { SetTimer(dialog_, kTimerId, kTickPeriodMs, nullptr); }

void DialogWindow::stopTimer() { KillTimer(dialog_, kTimerId); }

void DialogWindow::endDialog(int result) { EndDialog(dialog_, result); }

}  // namespace hub::windows
