// The fault rules of the in-memory fakes: which calls fail, after how many skips and how often.
// The owner locks around every member, as the fakes do for all their state.
#pragma once
#include <vector>

namespace tw {

// Fault carries `skip`, `times` and `kAlways` (every later call).
template <class Fault>
class TFaultList {
 public:
  struct State {
    Fault fault;
    int id = 0;
    int seen = 0;  // matching calls so far
    int hits = 0;  // calls failed so far
  };

  // Returns an id for Hits.
  int Add(const Fault& fault) {
    states_.push_back({fault, nextId_});
    return nextId_++;
  }
  void Clear() { states_.clear(); }
  int Hits(int id) const {
    for (const auto& st : states_)
      if (st.id == id) return st.hits;
    return 0;
  }

  // A call: every fault that matches counts it, so skips stay predictable; the first one past
  // its skips and within its times fails the call. Null when the call runs normally.
  template <class Matches>
  const State* Fire(Matches matches) {
    State* fired = nullptr;
    for (auto& st : states_) {
      if (!matches(st.fault)) continue;
      ++st.seen;
      if (fired || st.seen <= st.fault.skip) continue;
      if (st.fault.times != Fault::kAlways && st.hits >= st.fault.times) continue;
      ++st.hits;
      fired = &st;
    }
    return fired;
  }

 private:
  std::vector<State> states_;
  int nextId_ = 1;
};

}  // namespace tw
