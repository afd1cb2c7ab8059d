// Message boxes for tests: every question is recorded, answers come from a script.
// When the script is empty the answer is CautiousAnswer(flags) (OK for OK boxes, No for
// Yes/No, Cancel where there is one, Abort for Abort/Retry/Ignore) unless SetDefault chose one.
#pragma once
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/Prompts.h"

namespace tw {

struct PromptRecord {
  std::string text;
  std::string caption;
  uint32_t flags = 0;
  int answer = 0;
  bool scripted = false;  // false: answered by the default
};

class ScriptedPrompts : public IPrompts {
 public:
  int Message(const std::string& text, const std::string& caption, uint32_t flags) override;
  // Answers from AnswerFolder's queue (none once it is empty); records each title.
  std::optional<std::string> BrowseForFolder(const std::string& title) override;
  void AnswerFolder(std::optional<std::string> folder);
  std::vector<std::string> BrowseTitles();

  void Answer(int id);  // queues one answer
  void Answer(std::initializer_list<int> ids);
  void SetDefault(std::optional<int> id);
  size_t PendingAnswers();

  std::vector<PromptRecord> Records();
  size_t Count();
  // The last question; a default record when there was none.
  PromptRecord Last();
  // Questions that found the script empty (often a sign the test expected fewer questions).
  size_t Unscripted();
  void Clear();

  // Runs as each box shows, before it is answered: what the caller holds while the user reads.
  std::function<void()> WhileShown;

 private:
  std::mutex mutex_;
  std::deque<int> script_;
  std::optional<int> default_;
  std::vector<PromptRecord> records_;
  std::deque<std::optional<std::string>> folders_;
  std::vector<std::string> browseTitles_;
};

}  // namespace tw
