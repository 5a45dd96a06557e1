#pragma once

#include <asio/ip/address.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace trivane {

// One address or a CIDR range of them ("10.1.0.0/16", "fd00::/8"). An IPv4
// peer that reaches a dual-stack listener arrives as a mapped IPv6 address;
// it is matched as the IPv4 address it is.
class AddressRange {
 public:
  static std::optional<AddressRange> Parse(std::string_view text);

  bool Contains(const asio::ip::address& address) const;

 private:
  AddressRange(asio::ip::address base, unsigned prefix) : base_(base), prefix_(prefix) {}

  asio::ip::address base_;
  unsigned prefix_;
};

// Who may connect. Empty allows anyone; entries that are neither an address
// nor a range are kept apart for the log and allow no one, so a typing error
// never opens the server to everybody.
struct AllowList {
  std::vector<AddressRange> ranges;
  std::vector<std::string> invalid;
  bool restricted = false;

  static AllowList Parse(std::string_view comma_separated);
  bool Allows(const asio::ip::address& address) const;
};

// A mapped IPv6 address as the IPv4 address it carries; anything else as it is.
asio::ip::address Unmapped(const asio::ip::address& address);

}  // namespace trivane
