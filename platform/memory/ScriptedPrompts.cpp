#include "platform/memory/ScriptedPrompts.h"

namespace tw {

int ScriptedPrompts::Message(const std::string& text, const std::string& caption,
                             uint32_t flags) {
  std::lock_guard lock(mutex_);
  PromptRecord r{text, caption, flags, 0, !script_.empty()};
  if (r.scripted) {
    r.answer = script_.front();
    script_.pop_front();
  } else {
    r.answer = default_ ? *default_ : CautiousAnswer(flags);
  }
  records_.push_back(r);
  return r.answer;
}

void ScriptedPrompts::Answer(int id) {
  std::lock_guard lock(mutex_);
  script_.push_back(id);
}

void ScriptedPrompts::Answer(std::initializer_list<int> ids) {
  std::lock_guard lock(mutex_);
  script_.insert(script_.end(), ids.begin(), ids.end());
}

void ScriptedPrompts::SetDefault(std::optional<int> id) {
  std::lock_guard lock(mutex_);
  default_ = id;
}

size_t ScriptedPrompts::PendingAnswers() {
  std::lock_guard lock(mutex_);
  return script_.size();
}

std::vector<PromptRecord> ScriptedPrompts::Records() {
  std::lock_guard lock(mutex_);
  return records_;
}

size_t ScriptedPrompts::Count() {
  std::lock_guard lock(mutex_);
  return records_.size();
}

PromptRecord ScriptedPrompts::Last() {
  std::lock_guard lock(mutex_);
  return records_.empty() ? PromptRecord{} : records_.back();
}

size_t ScriptedPrompts::Unscripted() {
  std::lock_guard lock(mutex_);
  size_t n = 0;
  for (const auto& r : records_) n += !r.scripted;
  return n;
}

void ScriptedPrompts::Clear() {
  std::lock_guard lock(mutex_);
  records_.clear();
  script_.clear();
}

}  // namespace tw
