#pragma once
// What a request head must satisfy before it is served: a Host (or absolute-form target) that
// names this server, an Origin the server was told to allow, and framing a peer cannot read
// differently (a body taken for the next request).

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace brevant::trans_server {

// The host and port of a Host value or of an absolute-form target's authority. The host is in
// lower case, an IPv6 literal without its brackets; no port when none was given.
struct Authority {
  std::string host;
  std::optional<int> port;
};
std::optional<Authority> parse_authority(std::string_view value);

// An absolute-form request target ("http://host:port/path?query"): its authority and the
// origin-form target ("/path?query", "/" when the path is empty). Nothing for any other form.
struct AbsoluteTarget {
  std::string authority;
  std::string origin_form;
};
std::optional<AbsoluteTarget> split_absolute_form(std::string_view target);

// Whether `name` names this server, reached at `local_address` (the address the connection
// came in on, as text) on `port`: that address itself or, on a loopback address, "localhost",
// each with the server's port (none given means 80); or a name or address from `allowed`
// (--allow-host, any port: a proxy in front may publish another one).
bool host_allowed(const Authority& name, std::string_view local_address, int port,
                  const std::vector<std::string>& allowed);

// Whether an Origin value is one of `allowed` (--allow-origin), compared case-insensitively
// and without a trailing "/".
bool origin_allowed(std::string_view origin, const std::vector<std::string>& allowed);

// The verdict on a request's Transfer-Encoding (all its fields' codings, joined by ",") and
// Content-Length: fine; 400 when the body's end cannot be told (the last coding is not
// "chunked", "chunked" twice, or a Content-Length beside it); 501 for a coding this server
// does not decode ("gzip, chunked").
enum class Framing { kFine, kBadRequest, kNotImplemented };
Framing transfer_framing(std::string_view codings, bool has_content_length);

}  // namespace brevant::trans_server
