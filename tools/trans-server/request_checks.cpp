#include "tools/trans-server/request_checks.h"

#include <boost/asio/ip/address.hpp>

namespace brevant::trans_server {

namespace {

char lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool iequal(std::string_view a, std::string_view b) {
  if (a.size() != b.size())
    return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (lower(a[i]) != lower(b[i]))
      return false;
  }
  return true;
}

// Letters, digits and the few marks of a registered name or an IPv4 address.
bool is_name_char(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '.' || c == '_' || c == '~';
}

std::optional<boost::asio::ip::address> address_of(std::string_view host) {
  boost::system::error_code ec;
  const auto a = boost::asio::ip::make_address(std::string(host), ec);
  if (ec)
    return std::nullopt;
  if (a.is_v6() && a.to_v6().is_v4_mapped())
    return boost::asio::ip::make_address_v4(boost::asio::ip::v4_mapped, a.to_v6());
  return a;
}

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
    s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
    s.remove_suffix(1);
  return s;
}

}  // namespace

std::optional<Authority> parse_authority(std::string_view value) {
  if (value.empty() || value.size() > 255)
    return std::nullopt;
  Authority out;
  std::string_view host = value;
  std::string_view port;
  if (value.front() == '[') {
    const std::size_t close = value.find(']');
    if (close == std::string_view::npos || close < 3)
      return std::nullopt;
    host = value.substr(1, close - 1);
    for (const char c : host) {
      if (!(is_name_char(c) || c == ':'))
        return std::nullopt;
    }
    if (close + 1 < value.size()) {
      if (value[close + 1] != ':')
        return std::nullopt;
      port = value.substr(close + 2);
      if (port.empty())
        return std::nullopt;
    }
  } else {
    if (const std::size_t colon = value.find(':'); colon != std::string_view::npos) {
      host = value.substr(0, colon);
      port = value.substr(colon + 1);
      if (port.empty())
        return std::nullopt;
    }
    if (host.empty())
      return std::nullopt;
    for (const char c : host) {
      if (!is_name_char(c))
        return std::nullopt;
    }
  }
  if (!port.empty()) {
    if (port.size() > 5 || port.find_first_not_of("0123456789") != std::string_view::npos)
      return std::nullopt;
    const int p = std::stoi(std::string(port));
    if (p > 65535)
      return std::nullopt;
    out.port = p;
  }
  out.host.reserve(host.size());
  for (const char c : host)
    out.host += lower(c);
  return out;
}

std::optional<AbsoluteTarget> split_absolute_form(std::string_view target) {
  std::size_t scheme = 0;
  if (target.size() >= 7 && iequal(target.substr(0, 7), "http://"))
    scheme = 7;
  else if (target.size() >= 8 && iequal(target.substr(0, 8), "https://"))
    scheme = 8;
  else
    return std::nullopt;
  const std::string_view rest = target.substr(scheme);
  const std::size_t end = rest.find_first_of("/?#");
  AbsoluteTarget out;
  out.authority = std::string(rest.substr(0, end));
  if (out.authority.empty() || out.authority.find('@') != std::string::npos)
    return std::nullopt;  // no user information: the authority must be the host alone
  const std::string_view after = end == std::string_view::npos ? "" : rest.substr(end);
  if (after.empty() || after.front() != '/')
    out.origin_form = '/';
  out.origin_form.append(after.data(), after.size());
  return out;
}

bool host_allowed(const Authority& name, std::string_view local_address, int port,
                  const std::vector<std::string>& allowed) {
  const int given_port = name.port.value_or(80);
  if (given_port == port && name.host == local_address)
    return true;  // the usual case, without parsing
  const auto local = address_of(local_address);
  if (local && given_port == port) {
    if (const auto named = address_of(name.host); named && *named == *local)
      return true;
    if (local->is_loopback() && (name.host == "localhost" || name.host == "localhost."))
      return true;
  }
  for (const std::string& entry : allowed) {
    const auto a = parse_authority(entry);
    if (!a || (a->port && a->port != name.port))
      continue;
    if (a->host == name.host)
      return true;
    const auto x = address_of(a->host);
    const auto y = address_of(name.host);
    if (x && y && *x == *y)
      return true;
  }
  return false;
}

bool origin_allowed(std::string_view origin, const std::vector<std::string>& allowed) {
  origin = trim(origin);
  while (!origin.empty() && origin.back() == '/')
    origin.remove_suffix(1);
  for (std::string_view entry : allowed) {
    while (!entry.empty() && entry.back() == '/')
      entry.remove_suffix(1);
    if (!entry.empty() && iequal(entry, origin))
      return true;
  }
  return false;
}

Framing transfer_framing(std::string_view codings, bool has_content_length) {
  std::vector<std::string_view> list;
  while (!codings.empty()) {
    const std::size_t comma = codings.find(',');
    const std::string_view item = trim(codings.substr(0, comma));
    codings = comma == std::string_view::npos ? "" : codings.substr(comma + 1);
    if (!item.empty())
      list.push_back(item.substr(0, item.find(';')));
  }
  if (list.empty())
    return Framing::kBadRequest;  // a Transfer-Encoding field without a coding
  if (has_content_length || !iequal(trim(list.back()), "chunked"))
    return Framing::kBadRequest;
  for (std::size_t i = 0; i + 1 < list.size(); ++i) {
    if (iequal(trim(list[i]), "chunked"))
      return Framing::kBadRequest;
  }
  return list.size() == 1 ? Framing::kFine : Framing::kNotImplemented;
}

}  // namespace brevant::trans_server
