// SPDX-License-Identifier: GPL-3.0-or-later
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

// Where a window is put: centred; left-right centred with the top edge at
// one sixth of the free height; or left where the system put it.
enum class FormPosition : int32_t { Centred = 0, High = 1, AsPlaced = 9 };
enum class FormModal : int32_t { Modeless = 0, Modal = 1 };
enum class FormState : int32_t { Normal = 0, Minimized = 1, Maximized = 2 };
// The application title after the window's caption, or before it.
enum class TitleMode : int32_t { TitleLast = 0, TitleFirst = 1 };

// A modal window must be a dialog; the call returns when it has been closed,
// and it keeps its own position. The state applies to AsPlaced only.
bool gDspForm(Form& form, FormPosition position, FormModal modal, FormState windowState);
// Centred or High; any other position is refused.
bool gDspWindowPosition(QWidget& window, FormPosition position);
// The caption and the title, five blanks between them; any other mode leaves
// the caption as it is.
bool gDspFormTitle(QWidget& window, TitleMode mode);
int32_t gGetFormCount();

}  // namespace msifter::ui
