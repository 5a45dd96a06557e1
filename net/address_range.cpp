#include "net/address_range.h"

#include <algorithm>
#include <array>
#include <charconv>

#include "base/formatting.h"

namespace trivane {

namespace {

template <std::size_t N>
bool SamePrefix(const std::array<unsigned char, N>& a, const std::array<unsigned char, N>& b,
                unsigned prefix) {
  const unsigned whole = prefix / 8;
  if (!std::equal(a.begin(), a.begin() + whole, b.begin())) return false;
  const unsigned rest = prefix % 8;
  if (rest == 0) return true;
  const auto mask = static_cast<unsigned char>(0xFF << (8 - rest));
  return (a[whole] & mask) == (b[whole] & mask);
}

}  // namespace

asio::ip::address Unmapped(const asio::ip::address& address) {
  if (address.is_v6() && address.to_v6().is_v4_mapped()) {
    return asio::ip::make_address_v4(asio::ip::v4_mapped, address.to_v6());
  }
  return address;
}

std::optional<AddressRange> AddressRange::Parse(std::string_view text) {
  const std::size_t slash = text.find('/');
  std::error_code error;
  const asio::ip::address base =
      Unmapped(asio::ip::make_address(std::string(text.substr(0, slash)), error));
  if (error) return std::nullopt;
  const unsigned width = base.is_v4() ? 32 : 128;
  unsigned prefix = width;
  if (slash != std::string_view::npos) {
    const std::string_view digits = text.substr(slash + 1);
    const auto [end, failure] =
        std::from_chars(digits.data(), digits.data() + digits.size(), prefix);
    if (digits.empty() || failure != std::errc{} || end != digits.data() + digits.size() ||
        prefix > width) {
      return std::nullopt;
    }
  }
  return AddressRange(base, prefix);
}

bool AddressRange::Contains(const asio::ip::address& address) const {
  const asio::ip::address peer = Unmapped(address);
  if (peer.is_v4() != base_.is_v4()) return false;
  if (peer.is_v4()) return SamePrefix(peer.to_v4().to_bytes(), base_.to_v4().to_bytes(), prefix_);
  return SamePrefix(peer.to_v6().to_bytes(), base_.to_v6().to_bytes(), prefix_);
}

AllowList AllowList::Parse(std::string_view comma_separated) {
  AllowList list;
  while (!comma_separated.empty()) {
    const std::size_t comma = comma_separated.find(',');
    const std::string_view entry = TrimControl(comma_separated.substr(0, comma));
    comma_separated =
        comma == std::string_view::npos ? std::string_view{} : comma_separated.substr(comma + 1);
    if (entry.empty()) continue;
    list.restricted = true;
    if (auto range = AddressRange::Parse(entry)) {
      list.ranges.push_back(*range);
    } else {
      list.invalid.emplace_back(entry);
    }
  }
  return list;
}

bool AllowList::Allows(const asio::ip::address& address) const {
  return !restricted || std::any_of(ranges.begin(), ranges.end(), [&](const AddressRange& range) {
    return range.Contains(address);
  });
}

}  // namespace trivane
