// The window port: what the editors need from the window, as an interface.
// The Qt main window implements it; tests implement it with a scripted fake
// that answers dialogs and records what was shown. So far it holds the modal
// message boxes.
#pragma once

#include <string>

class WindowPort {
public:
    virtual ~WindowPort() = default;

    // Modal box with the warning icon and the buttons OK and Cancel; true when
    // the user chose OK, which means go on.
    virtual bool ShowWarning(const std::string& text) = 0;
    // Modal box with the error icon and an OK button.
    virtual void ShowError(const std::string& text) = 0;
};
