// Watches one folder (not its subfolders) on a worker thread and sends a window one message per
// change notification. The thread runs from creation and frees itself when it ends; owners
// replace a monitor rather than change it, and forget it once they have asked it to stop.
#pragma once
#include <windows.h>

#include <atomic>
#include <memory>
#include <string>

namespace tw::shellviews {

class TChangeNotifyThread {
 public:
  // Starts watching path. The returned handle only lets the owner stop or observe the thread;
  // the thread keeps itself alive until it ends, so dropping the handle never frees a running
  // thread, and a thread that ended on its own never leaves the owner a dangling pointer.
  static std::shared_ptr<TChangeNotifyThread> Create(const std::string& path, HWND window,
                                                     UINT message, DWORD filter);
  ~TChangeNotifyThread();
  TChangeNotifyThread(const TChangeNotifyThread&) = delete;
  TChangeNotifyThread& operator=(const TChangeNotifyThread&) = delete;

  // Stop request: the thread notices it within 500 ms.
  void Terminate();
  // Posts the stop message to the thread's queue: it ends at once.
  bool PostStop();
  // True once the thread has ended (waits up to ms for it).
  bool WaitFor(DWORD ms) const;
  bool Terminated() const { return stop_.load(); }

  const std::string& Path() const { return path_; }
  HWND Window() const { return window_; }
  UINT Message() const { return message_; }
  DWORD Filter() const { return filter_; }
  DWORD ThreadId() const { return threadId_; }

 private:
  TChangeNotifyThread(const std::string& path, HWND window, UINT message, DWORD filter);
  static DWORD WINAPI Start(void* arg);
  void Execute();

  std::string path_;
  HWND window_;
  UINT message_;
  DWORD filter_;
  std::atomic<bool> stop_{false};
  HANDLE stopEvent_ = nullptr;
  HANDLE queueReady_ = nullptr;
  HANDLE thread_ = nullptr;
  DWORD threadId_ = 0;
  std::shared_ptr<TChangeNotifyThread> self_;  // held by the running thread
};

}  // namespace tw::shellviews
