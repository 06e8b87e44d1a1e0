// Pieces of the fetch layer that its tests reach directly; nothing outside fetch/ uses them.
#pragma once

#include <cstdint>
#include <string_view>

#include "text/text.h"

namespace qorvex {

/// Where the host of a URL lies (1-based, hostEnd is the first byte after it) and whether the
/// scheme found was "https://".
struct UrlParts {
  int hostStart = 1;
  int hostEnd = 1;
  bool secure = false;
};
UrlParts SplitUrlStart(std::string_view url);

/// The cookie-store line (tab-separated, domain first) for one Set-Cookie header line of a reply
/// from host for requestPath, or empty when the line holds no storable cookie. now is the time
/// in seconds since 1970 that relative lifetimes count from.
Text CookieListLine(std::string_view headerLine, std::string_view host,
                    std::string_view requestPath, int64_t now);

/// Empties the process-wide cookie store.
void ForgetAllCookies();

/// Largest reply body accepted; a longer one fails the fetch.
inline constexpr size_t kMaxBodyBytes = 32u << 20;
/// Largest amount of reply header text accepted over one exchange, redirects included.
inline constexpr size_t kMaxHeaderBytes = 1u << 20;
/// Redirects followed before the fetch fails.
inline constexpr long kMaxRedirects = 10;

}  // namespace qorvex
