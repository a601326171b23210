#pragma once
// What every window of the program shares: being loaded once before it is
// first shown, counting as loaded until it is unloaded, and the procedures
// that show, place and title a window.
#include <cstdint>

class QWidget;

namespace msifter::ui {

class Form {
 public:
  Form() = default;
  virtual ~Form();
  Form(const Form&) = delete;
  Form& operator=(const Form&) = delete;

  virtual QWidget& widget() = 0;

  // Runs the load handler the first time only.
  void load();
  bool isLoaded() const { return loaded_; }

 protected:
  virtual void formLoad() = 0;
  // Called from the window's unload: it no longer counts as loaded.
  void markUnloaded();

 private:
  bool loaded_ = false;
};

// position: 0 centred, 1 high, 9 left where the system put it.
// modal: 1 shows the window modally (it must be a dialog) and returns when it
// has been closed. windowState: 0 normal, 1 minimized, 2 maximized.
bool gDspForm(Form& form, int32_t position, int32_t modal, int32_t windowState);
// position 0: centred; 1: left-right centred with the top edge at one sixth
// of the free height.
bool gDspWindowPosition(QWidget& window, int32_t position);
// mode 0: caption + five blanks + title; mode 1: title + five blanks + caption.
bool gDspFormTitle(QWidget& window, int32_t mode);
int32_t gGetFormCount();

}  // namespace msifter::ui
