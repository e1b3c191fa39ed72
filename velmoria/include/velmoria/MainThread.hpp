#pragma once

#include <QCoreApplication>
#include <QMetaObject>
#include <QPointer>
#include <utility>

namespace velmoria {

// Runs `work(object)` later on the main thread, unless the object is gone by then. Safe from any thread;
// work posted from one thread runs in the order it was posted.
template <class Object, class Work>
void onMainThread(QPointer<Object> object, Work work) {
  QCoreApplication* application = QCoreApplication::instance();
  if (application == nullptr) return;
  QMetaObject::invokeMethod(
      application,
      [object = std::move(object), work = std::move(work)]() mutable {
        if (object) work(*object);
      },
      Qt::QueuedConnection);
}

}  // namespace velmoria
