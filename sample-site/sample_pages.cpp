// The site's pages. The collection core reads them with fixed markers, so the order of the
// markers and what may stand between them matter more here than the look of the page.
#include <algorithm>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "sample-site/sample_site.h"

namespace qorvex {
namespace {

const char kSiteName[] = "汇商企业名录";

char AsciiLower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// Byte search ignoring the case of ASCII letters. UTF-8 needles only match at character
// boundaries, so a byte search is a character search here.
size_t FindNoCase(std::string_view haystack, std::string_view needle, size_t from = 0) {
  if (needle.empty()) return from <= haystack.size() ? from : std::string_view::npos;
  if (haystack.size() < needle.size()) return std::string_view::npos;
  for (size_t i = from; i + needle.size() <= haystack.size(); ++i) {
    size_t k = 0;
    while (k < needle.size() && AsciiLower(haystack[i + k]) == AsciiLower(needle[k]))
      ++k;
    if (k == needle.size()) return i;
  }
  return std::string_view::npos;
}

bool ValidUtf8(std::string_view s) {
  size_t i = 0;
  while (i < s.size()) {
    auto c = static_cast<unsigned char>(s[i]);
    size_t extra = 0;
    if (c < 0x80) {
      extra = 0;
    } else if (c >= 0xC2 && c <= 0xDF) {
      extra = 1;
    } else if (c >= 0xE0 && c <= 0xEF) {
      extra = 2;
    } else if (c >= 0xF0 && c <= 0xF4) {
      extra = 3;
    } else {
      return false;
    }
    if (s.size() - i <= extra) return false;
    for (size_t k = 1; k <= extra; ++k) {
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    }
    i += extra + 1;
  }
  return true;
}

std::string HtmlEscape(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (char c : s) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&#39;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

// Untrusted text echoed into a page: escaped, and dropped when it is not UTF-8 so that the
// page stays valid UTF-8.
std::string EchoText(std::string_view s) {
  return ValidUtf8(s) ? HtmlEscape(s) : std::string();
}

std::string UrlEncode(std::string_view s) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (char ch : s) {
    auto c = static_cast<unsigned char>(ch);
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
        c == '.' || c == '_' || c == '~') {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

// Every occurrence of keyword in name wrapped in <em>, as search sites highlight them.
std::string Highlight(std::string_view name, std::string_view keyword) {
  if (keyword.empty() || !ValidUtf8(keyword)) return std::string(name);
  std::string out;
  size_t at = 0;
  for (;;) {
    size_t hit = FindNoCase(name, keyword, at);
    if (hit == std::string_view::npos) break;
    out.append(name.substr(at, hit - at));
    out += "<em>";
    out.append(name.substr(hit, keyword.size()));
    out += "</em>";
    at = hit + keyword.size();
  }
  out.append(name.substr(at));
  return out;
}

std::string PageHead(std::string_view title) {
  std::string h;
  h += "<!DOCTYPE html>\n<html lang=\"zh-CN\">\n<head>\n<meta charset=\"utf-8\">\n<title>";
  h += HtmlEscape(title);
  h += " - ";
  h += kSiteName;
  h += "</title>\n<meta name=\"keywords\" content=\"公司黄页,企业名录,供应商,生产厂家\">\n";
  h += "<style>body{font:14px/1.6 sans-serif;margin:0;color:#333}a{color:#1a4c9c;"
       "text-decoration:none}.top,.foot{background:#f2f2f2;padding:4px 12px;font-size:12px}"
       ".nav a{margin-right:16px}.wrap{width:960px;margin:0 auto}.pages a,.pages span{margin:0 "
       "3px}.co{border-bottom:1px dashed #ddd;padding:8px 0;list-style:none}em{color:#c00;"
       "font-style:normal}.co-name p{display:inline;margin:0}.intro{display:block;color:#888;"
       "font-size:12px}</style>\n</head>\n<body>\n";
  h += "<div class=\"top\">欢迎来到";
  h += kSiteName;
  h += "！ <a href=\"/\">请登录</a> | <a href=\"/\">免费注册</a> | <a href=\"/\">帮助中心</a> | "
       "<a href=\"/\">手机版</a></div>\n";
  h += "<div class=\"wrap\">\n<div class=\"nav\"><a href=\"/\">首页</a><a "
       "href=\"/scom?kw=&amp;area=\">公司库</a><a href=\"/\">供应信息</a><a "
       "href=\"/\">求购信息</a><a href=\"/\">行业资讯</a></div>\n";
  return h;
}

std::string PageFoot() {
  std::string f;
  f += "</div>\n<div class=\"foot\"><a href=\"/\">关于我们</a> | <a href=\"/\">联系我们</a> | "
       "<a href=\"/\">服务条款</a> | <a href=\"/\">隐私声明</a><br>Copyright &copy; 2024 ";
  f += kSiteName;
  f += " 版权所有（示例站点，内容均为生成数据）</div>\n</body>\n</html>\n";
  return f;
}

std::string SearchForm(std::string_view keyword, std::string_view area) {
  std::string s;
  s += "<form class=\"search\" action=\"/scom\" method=\"get\">关键词 <input name=\"kw\" value=\"";
  s += EchoText(keyword);
  s += "\"> 地区 <input name=\"area\" value=\"";
  s += EchoText(area);
  s += "\"> <button type=\"submit\">搜索公司</button></form>\n";
  return s;
}

std::string PagerLink(const std::string& base, int page, std::string_view label) {
  return "<a href=\"" + base + "&amp;p=" + std::to_string(page) + "\">" + std::string(label) +
         "</a>";
}

}  // namespace

std::vector<const SampleCompany*> SearchCompanies(const std::vector<SampleCompany>& companies,
                                                  std::string_view keyword, std::string_view area) {
  std::vector<const SampleCompany*> matches;
  // A broken sequence would match inside characters.
  if (!ValidUtf8(keyword) || !ValidUtf8(area)) return matches;
  for (const SampleCompany& c : companies) {
    bool kwHit = keyword.empty() || FindNoCase(c.name, keyword) != std::string_view::npos ||
                 FindNoCase(c.products, keyword) != std::string_view::npos;
    if (!kwHit) continue;
    bool areaHit = area.empty() || FindNoCase(c.address, area) != std::string_view::npos ||
                   FindNoCase(c.province + c.city + c.district, area) != std::string_view::npos;
    if (areaHit) matches.push_back(&c);
  }
  return matches;
}

std::string RenderSearchPage(const std::vector<const SampleCompany*>& matches,
                             std::string_view keyword, std::string_view area, int page,
                             std::string_view hostPort) {
  const long total = static_cast<long>(matches.size());
  const long pages = (total + kSampleCompaniesPerPage - 1) / kSampleCompaniesPerPage;
  const long shown = std::min<long>(pages, kSampleMaxShownPages);
  if (page < 1) page = 1;

  const std::string base = "/scom?kw=" + UrlEncode(keyword) + "&amp;area=" + UrlEncode(area);
  std::string h = PageHead(keyword.empty() ? "公司搜索" : "公司搜索结果");
  h += "<div class=\"crumb\">当前位置：<a href=\"/\">首页</a> &gt; 公司库 &gt; 搜索结果</div>\n";

  // Pager: the page count stands right behind the last link. Numbered links stay below the
  // shown count, as the site never links pages it does not show.
  h += "<div class=\"pages\">";
  h += PagerLink(base, 1, "首页");
  h += PagerLink(base, std::max(1, page - 1), "上一页");
  long first = std::max<long>(1, page - 4);
  long last = std::min<long>(shown, first + 8);
  for (long p = first; p <= last; ++p) {
    if (p == page) {
      h += "<span class=\"cur\">" + std::to_string(p) + "</span>";
    } else {
      h += PagerLink(base, static_cast<int>(p), std::to_string(p));
    }
  }
  h += PagerLink(
      base, static_cast<int>(std::min<long>(std::max<long>(shown, 1), static_cast<long>(page) + 1)),
      "下一页");
  h += PagerLink(base, static_cast<int>(std::max<long>(shown, 1)), "尾页");
  h += "共" + std::to_string(shown) + "页</div>\n";

  h += "<div class=\"summary\">共找到<span class=\"n\">" + std::to_string(total) +
       "</span>条符合条件的企业</div>\n";

  // The list. Each company's block ends in the separator word, so that the piece between two
  // separators holds exactly one company link; what follows a separator is plain markup.
  h += "<div class=\"list\">\n<div class=\"list-head\"><span>公司名称</span><span>所在地区</span>"
       "<span>经营类型</span></div>\n<ul class=\"co-list\">\n";
  const long from = static_cast<long>(page - 1) * kSampleCompaniesPerPage;
  for (long i = from; i < total && i < from + kSampleCompaniesPerPage; ++i) {
    const SampleCompany& c = *matches[static_cast<size_t>(i)];
    std::string link =
        "<a href=\"http://" + std::string(hostPort) + "/" + c.key + "\" target=\"_blank\">";
    h += "<li class=\"co\">\n<div class=\"co-name\">" + link;
    if (c.longLink) {
      h += "<p>" + Highlight(c.name, keyword) + "</p><span class=\"intro\">" + c.name +
           "成立多年，是一家集研发、生产、销售于一体的现代化企业，主要经营" + c.products +
           "等产品。公司拥有先进的生产设备和完善的质量管理体系，产品远销欧美、东南亚等国家和地"
           "区，竭诚欢迎国内外客户来电洽谈合作，携手共创美好未来。</span>";
    } else {
      h += Highlight(c.name, keyword);
    }
    h += "</a><span class=\"vip\">诚信认证</span></div>\n";
    h += "<div class=\"co-area\">" + c.province + " " + c.city + "</div><div class=\"co-type\">" +
         c.businessType + "</div>\n";
    h += "<div class=\"co-prod\">" + c.products + " <a class=\"more\" href=\"/" + c.key +
         "#products\">更多主营产品</a></div>\n</li>\n";
  }
  h += "</ul>\n</div>\n";

  h += "<div class=\"related\"><h3>您可能感兴趣的产品</h3>";
  const char* const kRelated[] = {"手机壳", "蓝牙耳机", "LED灯", "纸箱", "注塑机", "女装"};
  for (const char* r : kRelated) {
    h += "<a href=\"/scom?kw=" + UrlEncode(r) + "&amp;area=\">" + r + "</a> ";
  }
  h += "</div>\n";
  h += SearchForm(keyword, area);
  h += PageFoot();
  return h;
}

std::string RenderContactPage(const SampleCompany& c, std::string_view hostPort) {
  (void)hostPort;
  const std::string id = std::to_string(c.id);
  std::string h = PageHead(c.name + " 联系方式");
  h += "<div class=\"co-head\"><h1>" + c.name + "</h1><div class=\"menu\"><a href=\"/" + c.key +
       "\">公司首页</a> <a href=\"/" + c.key + "\">公司介绍</a> <a href=\"/" + c.key +
       "#products\">产品展示</a> <a href=\"/contact" + id + ".html\">联系方式</a></div></div>\n";
  h += "<div class=\"contact\"><h2>联系方式</h2>\n<ul>\n";
  const std::string label = "<li><font color=\"#666\">";
  if (!c.contact.empty()) {
    if (c.contactBlankFirst) {
      h += label + "联系人:</font>\u3000</li>\n";
    } else if (c.contactFallback) {
      h += "<li>联系人：&nbsp;" + c.contact + "</li>\n";
    } else {
      h += label + "联系人:</font>" + c.contact + "</li>\n";
    }
  }
  // Numbers are shown as pictures whose file name is the number.
  if (!c.mobile.empty()) {
    h += label + "手机:</font><img src=\"/img/phone/" + c.mobile + ".png\" alt=\"手机\"></li>\n";
  }
  if (!c.phone.empty()) {
    h += label + "电话:</font><img src=\"/img/tel/" + c.phone + ".png\" alt=\"电话\"></li>\n";
  }
  if (!c.fax.empty()) {
    h += label + "传真:</font><img src=\"/img/fax/" + c.fax + ".png\" alt=\"传真\"></li>\n";
  }
  if (!c.email.empty()) {
    if (c.emailFallback) {
      h += "<li>电子邮箱：&nbsp;" + c.email + "</li>\n";
    } else {
      h += label + "邮件:</font>" + c.email + "</li>\n";
    }
  }
  if (!c.qq.empty()) {
    // The raw "&" in these links is what the page really carries.
    if (c.qqQuoteForm) {
      h += label + "QQ:</font><a href=\"http://wpa.qq.com/msgrd?v=3&uin=" + c.qq +
           "\" target=\"_blank\" title=\"点击这里给我发消息\"><img src=\"/img/qq.png\" "
           "alt=\"QQ在线咨询\" border=\"0\"></a></li>\n";
    } else {
      h += label + "QQ:</font><a href=\"http://wpa.qq.com/msgrd?v=3&uin=" + c.qq +
           "&site=qq&menu=yes\" target=\"_blank\"><img src=\"/img/qq.png\" alt=\"QQ在线咨询\" "
           "border=\"0\"></a></li>\n";
    }
  }
  if (!c.address.empty()) {
    h += "<li>公司地址：<a target=\"_blank\" href=\"/map?q=" + UrlEncode(c.address) + "\">" +
         c.address + "</a></li>\n";
  }
  h += "</ul>\n</div>\n";
  if (c.contactBlankFirst) {
    h += "<div class=\"card\"><h3>名片</h3><p>联系人：&nbsp;" + c.contact + "<br>" + c.name +
         "</p></div>\n";
  }
  h +=
      "<div class=\"tip\">联系我时，请说是在" + std::string(kSiteName) + "上看到的，谢谢！</div>\n";
  h += PageFoot();
  return h;
}

std::string RenderCompanyPage(const SampleCompany& c, std::string_view hostPort) {
  (void)hostPort;
  std::string h = PageHead(c.name);
  h += "<div class=\"co-head\"><h1>" + c.name + "</h1></div>\n";
  h += "<div class=\"intro\"><p>" + c.name + "位于" + c.province + c.city + c.district +
       "，经营模式为" + c.businessType + "，主要经营" + c.products + "。</p></div>\n";
  h += "<div id=\"products\"><h3>主营产品</h3><p>" + c.products + "</p></div>\n";
  h += "<p><a href=\"/contact" + std::to_string(c.id) + ".html\">查看联系方式</a></p>\n";
  h += PageFoot();
  return h;
}

}  // namespace qorvex
