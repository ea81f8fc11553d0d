// The real login window description with the handlers that reach the
// network taken out: the creation handler would connect to whatever listens
// on the configured port, so the layer is tested on the same controls,
// places and settings without it.
#pragma once

#include <span>
#include <vector>

#include "screens/Screens.h"
#include "ui/Description.h"

namespace layertest {

class LoginCopy {
 public:
  // `buttonEvents` replaces the login button's bindings.
  explicit LoginCopy(std::span<const EventBinding> buttonEvents = {})
      : controls_(kLoginWindowDescription.controls.begin(),
                  kLoginWindowDescription.controls.end()) {
    for (ControlDescription& control : controls_) {
      if (control.number == LoginWindow::登录按钮) {
        control.events = buttonEvents;
      } else {
        control.events = {};
      }
    }
    design_ = kLoginWindowDescription;
    design_.controls = controls_;
    table_[0] = &design_;
  }
  LoginCopy(const LoginCopy&) = delete;
  LoginCopy& operator=(const LoginCopy&) = delete;

  std::span<const WindowDescription* const> Table() const { return table_; }

 private:
  std::vector<ControlDescription> controls_;
  WindowDescription design_;
  const WindowDescription* table_[1] = {};
};

}  // namespace layertest
