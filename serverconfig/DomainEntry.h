// domains.cfg: the domain table, TDomainEntry records of 96 bytes, not scrambled, no header.
// The number of valid entries is the settings count at 7020, not the file size; entry 0 is
// the primary domain.
//
//    0 str[91]  domain name, lower case
//   92 4 bytes  IPv4 address, network byte order; 0.0.0.0 none,
//               255.255.255.255 = the addresses are in the domain's bind.dat
#pragma once

#include "serverconfig/RecordField.h"

constexpr std::size_t kDomainEntrySize = 96;
struct TDomainEntry : TRecordBytes<kDomainEntrySize> {};

namespace domainentry {
constexpr TStrField kName{0, 91};
constexpr std::size_t kAddressOffset = 92;
constexpr std::size_t kAddressLength = 4;
// Entries of the 32-byte table of older versions: a str[31] name each.
constexpr std::size_t kOldEntrySize = 32;
constexpr std::size_t kOldNameMax = 31;
}  // namespace domainentry

ZAREL_FIELD_FITS(TDomainEntry, domainentry::kName);
static_assert(domainentry::kAddressOffset + domainentry::kAddressLength == kDomainEntrySize);

// Domain names are held to what the name field keeps wherever they enter the table.
constexpr std::size_t kDomainNameMax = domainentry::kName.Max;
