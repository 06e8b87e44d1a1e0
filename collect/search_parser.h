// Reading the site's search result pages: the summary of the first page and the company list
// of every page.
#pragma once

#include <functional>
#include <string_view>

#include "collect/run_state.h"
#include "results/result_table.h"
#include "text/text.h"

namespace qorvex {

/// Companies a result page holds at most; also what a page with an empty list counts for.
inline constexpr int kCompaniesPerPage = 20;

/// Everything ParseListPage reads and writes besides the page.
struct ListPageContext {
  RunCounters* counters = nullptr;
  std::string_view filterText;  // as typed when the search started
  std::string_view companyLinkMarker;
  ResultTable* table = nullptr;
  std::function<void()> refreshStatus;  // after every company entry examined; may be empty
};

/// Sets pageCount and totalCount from a result page.
void ParseSearchSummary(std::string_view page, RunCounters& counters);
/// The company list of a result page, or empty.
Text CutListSection(std::string_view page);
/// Appends one row per accepted company of the list section and raises the counters.
void ParseListPage(std::string_view section, const ListPageContext& context);

}  // namespace qorvex
