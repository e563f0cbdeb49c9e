#include "address_list.h"

namespace see32 {
namespace {

constexpr std::size_t kMaxMailbox = 254;  // the longest path a server must take (RFC 5321)

std::string_view trim(std::string_view s) {
  const auto isBlank = [](char c) { return c == ' ' || c == '\t'; };
  while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
  return s;
}

bool badMailboxChar(char c) {
  const auto u = static_cast<unsigned char>(c);
  return u <= 0x20 || u == 0x7F || c == '<' || c == '>' || c == ',' || c == ';' || c == '"';
}

SeeStatus refuse(std::string_view what, std::string_view entry, std::string_view why) {
  return {kSeeBadAddress, "bad " + std::string(what) + " address \"" + std::string(entry) +
                              "\": " + std::string(why)};
}

// One entry, already trimmed and not empty. An empty mailbox in the result means "nobody".
SeeResult<Address> parseEntry(std::string_view entry, std::string_view what) {
  Address a;
  std::string_view mailbox = entry;
  const std::size_t open = entry.find('<');
  if (open != std::string_view::npos) {
    const std::size_t close = entry.find('>', open);
    if (close == std::string_view::npos) return refuse(what, entry, "'>' is missing");
    if (entry.find('<', open + 1) < close) return refuse(what, entry, "'<' inside '<...>'");
    if (!trim(entry.substr(close + 1)).empty()) return refuse(what, entry, "text after '>'");
    a.display = std::string(trim(entry.substr(0, open)));
    mailbox = trim(entry.substr(open + 1, close - open - 1));
  } else if (entry.find('>') != std::string_view::npos) {
    return refuse(what, entry, "'>' without '<'");
  }
  for (char c : mailbox) {
    if (badMailboxChar(c))
      return refuse(what, entry, "it contains a blank or a character not allowed");
  }
  if (mailbox.size() > kMaxMailbox) return refuse(what, entry, "it is too long");
  if (mailbox.empty() && !a.display.empty()) return refuse(what, entry, "no address in '<>'");
  for (char c : a.display) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F) return refuse(what, entry, "a control character in the name");
  }
  a.mailbox = std::string(mailbox);
  return a;
}

}  // namespace

SeeResult<std::vector<Address>> parseAddressList(std::string_view list, std::string_view what) {
  std::vector<Address> out;
  while (true) {
    const std::size_t semi = list.find(';');
    const std::string_view entry = trim(list.substr(0, semi));
    if (!entry.empty()) {
      SeeResult<Address> a = parseEntry(entry, what);
      if (!a) return a.status();
      if (!a->mailbox.empty()) out.push_back(std::move(a).value());
    }
    if (semi == std::string_view::npos) break;
    list.remove_prefix(semi + 1);
  }
  return out;
}

SeeResult<Address> parseSingleAddress(std::string_view text, std::string_view what) {
  SeeResult<std::vector<Address>> list = parseAddressList(text, what);
  if (!list) return list.status();
  if (list->size() > 1) return refuse(what, trim(text), "more than one address");
  if (list->empty()) return Address{};
  return std::move(list->front());
}

}  // namespace see32
