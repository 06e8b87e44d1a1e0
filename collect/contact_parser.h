// Reading a company's contact page into its row.
#pragma once

#include <functional>
#include <string_view>
#include <utility>

#include "collect/front_end.h"
#include "collect/run_state.h"
#include "results/result_table.h"
#include "text/text.h"

namespace qorvex {

/// The seven values of a contact page, each without spaces.
struct ContactFields {
  Text contact;
  Text mobile;
  Text phone;
  Text fax;
  Text email;
  Text qq;
  Text address;
};

/// Everything ParseCompanyDetail reads and writes besides the page.
struct DetailContext {
  RunCounters* counters = nullptr;
  ResultTable* table = nullptr;
  std::function<bool(CheckBox)> isTicked;  // read afresh for every page
};

ContactFields ExtractContactFields(std::string_view page);
/// Mobile and phone, exchanged when the mobile starts with "0" or else the phone with "1".
std::pair<Text, Text> RecogniseNumbers(const Text& mobile, const Text& phone);
/// Fills the row's contact cells (validCount + 1) or blanks the row when a required field is
/// empty (filteredCount + 1). A row that is gone takes no write; the page still counts.
void ParseCompanyDetail(std::string_view page, RowId row, const DetailContext& context);

}  // namespace qorvex
