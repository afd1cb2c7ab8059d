// Runs code on a thread with a small stack, so that a recursion as deep as the data fails here
// at a depth a test can build quickly, as it would fail on the program's own stack at a depth
// of thousands.
#pragma once
#include <pthread.h>

#include <cstddef>
#include <functional>

namespace tw::testing {

inline bool RunOnSmallStack(size_t bytes, const std::function<void()>& fn) {
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  pthread_attr_setstacksize(&attr, bytes);
  pthread_t thread;
  auto body = [](void* p) -> void* {
    (*static_cast<const std::function<void()>*>(p))();
    return nullptr;
  };
  const bool started = pthread_create(&thread, &attr, body, const_cast<std::function<void()>*>(&fn)) == 0;
  pthread_attr_destroy(&attr);
  if (started) pthread_join(thread, nullptr);
  return started;
}

}  // namespace tw::testing
