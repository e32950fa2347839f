// The wizard's page sequence as a model: which page a button leads to, when closing
// must ask first, and how the system menu follows the page. The dialog maps it
// onto windows.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace ostrane {

// What a page reports to the wizard.
enum class ButtonType : int { Next = 0, Accept = 1, Close = 2, Decline = 3, Finish = 4, Back = 5, SkipAll = 6 };

// What the dialog does for one button press, in this order.
struct FlowStep {
  bool createMainPackage = false;   // the first Next: main package and its start event
  bool cleanUpWorkFolder = false;   // Finish deletes the temp work folder
  std::optional<int> navigateTo;    // NavigateTo(index); an index outside the list is ignored there
  std::optional<int> endDialog;     // end the wizard with this result
};

class PageFlow {
 public:
  // skippedOfferPages: for Accept, Decline and Skip All, how many following offer
  // pages the offer flow passes over.
  FlowStep OnButton(ButtonType button, int skippedOfferPages = 0);

  // Moves to index when it is inside the list; false (and nothing changes) otherwise.
  bool NavigateTo(int index);

  // Closing asks first unless an error is shown or the last page is current; with
  // only the language and loading pages it always asks.
  bool ShouldConfirmExit() const;

  void SetPageCount(std::size_t count) { pageCount_ = count; }
  std::size_t pageCount() const { return pageCount_; }
  int current() const { return current_; }
  bool IsValidIndex(int index) const { return static_cast<std::size_t>(index) < pageCount_; }
  bool wentBack() const { return wentBack_; }
  void SetErrorShown() { errorShown_ = true; }
  bool errorShown() const { return errorShown_; }

 private:
  std::size_t pageCount_ = 0;
  int current_ = 0;
  bool wentBack_ = false;
  bool errorShown_ = false;
};

enum class SystemMenuChange { None, RemoveClose, RestoreClose };

// Download pages cannot be closed from the title bar; finish pages can again.
SystemMenuChange SystemMenuChangeFor(const std::wstring& pageName);

}  // namespace ostrane
