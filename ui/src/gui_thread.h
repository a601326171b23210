// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Carries a call from the transfer run's thread over to the window thread and
// waits for it; failures (and the test double's end of the program) travel
// back to the caller.
#include <QMetaObject>
#include <QObject>
#include <QThread>
#include <exception>
#include <optional>
#include <type_traits>
#include <utility>

namespace msifter::ui {

template <class F>
auto onGuiThread(QObject* context, F&& f) -> decltype(f()) {
  using R = decltype(f());
  if (QThread::currentThread() == context->thread()) return f();
  std::exception_ptr failure;
  if constexpr (std::is_void_v<R>) {
    QMetaObject::invokeMethod(
        context,
        [&] {
          try {
            f();
          } catch (...) {
            failure = std::current_exception();
          }
        },
        Qt::BlockingQueuedConnection);
    if (failure) std::rethrow_exception(failure);
  } else {
    std::optional<R> result;
    QMetaObject::invokeMethod(
        context,
        [&] {
          try {
            result.emplace(f());
          } catch (...) {
            failure = std::current_exception();
          }
        },
        Qt::BlockingQueuedConnection);
    if (failure) std::rethrow_exception(failure);
    return std::move(*result);
  }
}

}  // namespace msifter::ui
