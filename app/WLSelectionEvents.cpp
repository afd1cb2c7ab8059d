// Stand-in for the selection handlers while they are built on their own branch.
#include "app/WLSelectionEvents.h"
namespace tw {
TSelectionEvents::TSelectionEvents(TPageKind kind, TWizardState& state, shellviews::TNameSpaceEnumerator& tree, shellviews::TFolderEnumerator& list) : kind_(kind), state_(state), tree_(tree), list_(list) {}
TSelectionEvents::~TSelectionEvents() = default;
void TSelectionEvents::Attach() {}
TWLDesktopNode& TSelectionEvents::Selection() { return kind_ == TPageKind::Add ? state_.AddSelection : state_.ContentsSelection; }
void TSelectionEvents::ResetAddSelection() { state_.AddSelection.Clear(); state_.AddFileCount = 0; state_.AddByteCount = 0; }
void TSelectionEvents::ExpandFirstItems() {}
void TSelectionEvents::SetFirstItemState(int state) { tree_.SetCheckState(0, state); }
TSelectionStatistics::~TSelectionStatistics() {}
void TSelectionStatistics::Install() {}
void TSelectionStatistics::Uninstall() {}
void TSelectionStatistics::UpdateStatusBar(int64_t, int64_t) {}
void TSelectionStatistics::DrawUpdateTimerTimer() {}
}
