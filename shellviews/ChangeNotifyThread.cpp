#include "shellviews/ChangeNotifyThread.h"

#include "platform/win32/Utf.h"
#include "shellviews/ShellCommon.h"

namespace tw::shellviews {

TChangeNotifyThread::TChangeNotifyThread(const std::string& path, HWND window, UINT message,
                                         DWORD filter)
    : path_(path), window_(window), message_(message), filter_(filter) {
  stopEvent_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  queueReady_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
}

TChangeNotifyThread::~TChangeNotifyThread() {
  if (thread_) CloseHandle(thread_);
  if (stopEvent_) CloseHandle(stopEvent_);
  if (queueReady_) CloseHandle(queueReady_);
}

std::shared_ptr<TChangeNotifyThread> TChangeNotifyThread::Create(const std::string& path,
                                                                 HWND window, UINT message,
                                                                 DWORD filter) {
  std::shared_ptr<TChangeNotifyThread> t(new TChangeNotifyThread(path, window, message, filter));
  t->self_ = t;
  t->thread_ = CreateThread(nullptr, 0, &TChangeNotifyThread::Start, t.get(), 0, &t->threadId_);
  if (!t->thread_) {
    t->self_.reset();
    t->stop_ = true;
    return t;
  }
  // The stop message can only be posted once the thread has a queue.
  WaitForSingleObject(t->queueReady_, 2000);
  return t;
}

void TChangeNotifyThread::Terminate() {
  stop_ = true;
  if (stopEvent_) SetEvent(stopEvent_);
}

bool TChangeNotifyThread::PostStop() {
  return threadId_ && PostThreadMessageW(threadId_, kMonitorStopMessage, 0, 0);
}

bool TChangeNotifyThread::WaitFor(DWORD ms) const {
  return !thread_ || WaitForSingleObject(thread_, ms) == WAIT_OBJECT_0;
}

DWORD WINAPI TChangeNotifyThread::Start(void* arg) {
  auto* t = static_cast<TChangeNotifyThread*>(arg);
  std::shared_ptr<TChangeNotifyThread> keep = std::move(t->self_);
  MSG msg;
  PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
  SetEvent(t->queueReady_);
  t->Execute();
  return 0;  // keep goes here: the thread object is freed unless its owner still looks at it
}

void TChangeNotifyThread::Execute() {
  if (stop_) return;
  std::wstring wide;
  if (ExtendedPath(path_, wide) != winerr::Success) wide = Widen(path_);
  HANDLE change = FindFirstChangeNotificationW(wide.c_str(), FALSE, filter_);
  if (change == INVALID_HANDLE_VALUE) return;
  HANDLE handles[2] = {change, stopEvent_};
  for (;;) {
    DWORD r = MsgWaitForMultipleObjects(2, handles, FALSE, 500, QS_ALLINPUT);
    if (stop_) break;
    if (r == WAIT_OBJECT_0) {
      if (IsWindow(window_)) SendMessageW(window_, message_, 0, 0);
      if (!FindNextChangeNotification(change)) break;
    } else if (r == WAIT_TIMEOUT || r == WAIT_OBJECT_0 + 2) {
      MSG msg;
      if (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == kMonitorStopMessage) break;
        if (msg.hwnd) SendMessageW(msg.hwnd, msg.message, msg.wParam, msg.lParam);
      }
    } else if (r != WAIT_OBJECT_0 + 1) {
      break;  // a failed wait
    }
  }
  FindCloseChangeNotification(change);
}

}  // namespace tw::shellviews
