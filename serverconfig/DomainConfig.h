// domain.cfg: one TDomainConfig record of 913 bytes per domain folder, scrambled with
// phase 0. The setup only writes fresh records: zero except the fields below.
//
//   128 str[255]  reserved alias list, ";"-separated
//   384 str[255]  address of the domain's administrator
#pragma once

#include "serverconfig/RecordField.h"

constexpr std::size_t kDomainConfigSize = 913;
struct TDomainConfig : TRecordBytes<kDomainConfigSize> {};

namespace domainconfig {
constexpr TStrField kReservedAliases{128, 255};
constexpr TStrField kAdministrator{384, 255};
}  // namespace domainconfig

ZAREL_FIELD_FITS(TDomainConfig, domainconfig::kAdministrator);
