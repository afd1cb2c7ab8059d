#include "platform/memory/ScriptedPrompts.h"

namespace tw {

int ScriptedPrompts::Message(const std::string& text, const std::string& caption,
                             uint32_t flags) {
  if (WhileShown) WhileShown();
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

std::optional<std::string> ScriptedPrompts::BrowseForFolder(const std::string& title) {
  std::lock_guard lock(mutex_);
  browseTitles_.push_back(title);
  if (folders_.empty()) return std::nullopt;
  auto answer = folders_.front();
  folders_.pop_front();
  return answer;
}

void ScriptedPrompts::AnswerFolder(std::optional<std::string> folder) {
  std::lock_guard lock(mutex_);
  folders_.push_back(std::move(folder));
}

std::vector<std::string> ScriptedPrompts::BrowseTitles() {
  std::lock_guard lock(mutex_);
  return browseTitles_;
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
  folders_.clear();
  browseTitles_.clear();
}

}  // namespace tw
