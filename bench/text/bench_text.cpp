// Marker search over a result page of about 200 KB (HTML markup mixed with Chinese text in code
// page 936), with the sought markers near the end, beside glibc memmem on the same bytes.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <string>
#include <string_view>

#include "text/codepage.h"
#include "text/text.h"

namespace {

using qorvex::Text;

// Built once from UTF-8 and converted, so the page holds real code page 936 bytes (including
// characters whose trail byte is an ASCII letter or sign).
const Text& Page() {
  static const Text page = [] {
    const char* const cities[] = {"北京", "上海", "广州", "深圳", "杭州", "苏州", "東莞", "嘆息"};
    const char* const words[] = {"科技", "贸易", "机械", "电子", "五金", "塑料", "纺织",
                                 "化工", "包装", "建材", "億達", "设备", "实业", "发展"};
    const char* const trades[] = {"主营：电子产品，机械设备，五金工具",
                                  "经营范围：塑料制品、包装材料的生产与销售",
                                  "公司地址：工业园区创业路８８号", "成立时间：２０１２年"};
    std::mt19937 rng(936);
    auto pick = [&rng](auto& list) {
      return list[std::uniform_int_distribution<size_t>(0, std::size(list) - 1)(rng)];
    };
    std::string utf8 = "<html><head><meta charset=\"utf-8\"><title>搜索结果</title></head><body>\n";
    int id = 10000;
    while (utf8.size() < 215000) {
      utf8 += "<li class=\"item\"><div class=\"name\"><a href=\"//co.example.cn/qv";
      utf8 += std::to_string(id++);
      utf8 += "/\" target=\"_blank\">";
      utf8 += pick(cities);
      utf8 += pick(words);
      utf8 += pick(words);
      utf8 += "有限公司</a></div>\n<div class=\"info\">";
      utf8 += pick(trades);
      utf8 += "</div><span class=\"tel\">0";
      utf8 += std::to_string(id * 7919 % 100000000);
      utf8 += "</span></li>\n";
    }
    utf8 +=
        "<div class=\"contact\">联系人：张先生<br>Email：sales@example.cn<br>"
        "<a href=\"http://wpa.example.com/msgrd?v=3&uin=12345678&site=qq&menu=yes\">QQ</a>"
        "</div></body></html>\n";
    return qorvex::Utf8ToAnsi(utf8);
  }();
  return page;
}

struct Marker {
  const char* label;
  std::string sought;  // code page 936
};

const Marker& MarkerAt(int64_t index) {
  static const Marker markers[] = {
      {"&uin=", "&uin="},
      {"Email", "Email"},
      {"contact person", qorvex::Utf8ToAnsi("联系人：")},
  };
  return markers[index];
}

size_t MatchOffset(std::string_view sought) {
  const Text& page = Page();
  const void* hit = memmem(page.data(), page.size(), sought.data(), sought.size());
  return hit ? static_cast<const char*>(hit) - page.data() : page.size();
}

void BM_Memmem(benchmark::State& state) {
  const Text& page = Page();
  const Marker& marker = MarkerAt(state.range(0));
  for (auto _ : state) {
    const void* hit = memmem(page.data(), page.size(), marker.sought.data(), marker.sought.size());
    benchmark::DoNotOptimize(hit);
  }
  state.SetLabel(marker.label);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(MatchOffset(marker.sought)));
}
BENCHMARK(BM_Memmem)->DenseRange(0, 2);

void BM_FindTextExact(benchmark::State& state) {
  const Text& page = Page();
  const Marker& marker = MarkerAt(state.range(0));
  int position = 0;
  for (auto _ : state) {
    position = qorvex::FindText(page, marker.sought, false);
    benchmark::DoNotOptimize(position);
  }
  if (position < 0) state.SkipWithError("marker not found");
  state.SetLabel(marker.label);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(MatchOffset(marker.sought)));
}
BENCHMARK(BM_FindTextExact)->DenseRange(0, 2);

void BM_FindTextIgnoreCase(benchmark::State& state) {
  const Text& page = Page();
  const Marker& marker = MarkerAt(state.range(0));
  const Text sought = qorvex::ToUpper(marker.sought);
  int position = 0;
  for (auto _ : state) {
    position = qorvex::FindText(page, sought, true);
    benchmark::DoNotOptimize(position);
  }
  if (position < 0) state.SkipWithError("marker not found");
  state.SetLabel(marker.label);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(MatchOffset(marker.sought)));
}
BENCHMARK(BM_FindTextIgnoreCase)->DenseRange(0, 2);

void BM_TextBetween(benchmark::State& state) {
  const Text& page = Page();
  Text qq;
  for (auto _ : state) {
    qq = qorvex::TextBetween(page, "&UIN=", "&site", 0, false);
    benchmark::DoNotOptimize(qq.data());
  }
  if (qq != "12345678") state.SkipWithError("wrong field");
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(MatchOffset("&site")));
}
BENCHMARK(BM_TextBetween);

// A whole page converted as every fetched page is before parsing.
void BM_Utf8ToAnsi(benchmark::State& state) {
  const std::string utf8 = qorvex::AnsiToUtf8(Page());
  for (auto _ : state) {
    Text ansi = qorvex::Utf8ToAnsi(utf8);
    benchmark::DoNotOptimize(ansi.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(utf8.size()));
}
BENCHMARK(BM_Utf8ToAnsi);

}  // namespace

BENCHMARK_MAIN();
