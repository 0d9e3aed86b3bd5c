// users.cfg: TAccountRecord records of 2848 bytes, each scrambled with phase 0 (2848 is a
// multiple of 16, so that is also the file-offset phase). A record's position is its index.
//
//     0 byte      account type, 0 = user          660 u32      >= 65536: mailbox holds active.dat
//     4 str[254]  full name                       665 byte     IMAP layout ("inbox" subfolder)
//   260 str[255]  aliases; the first names        772 str[127] password as typed
//                 the mailbox                    1028 str[255] mailbox path
//   516 str[127]  account name                   1284 byte     rights, 1 = administrator
//   645 byte      account expires                1293 byte     low bits: responder state
//   648 double    expiry date                    1295 byte     no welcome message
#pragma once

#include "serverconfig/RecordField.h"

constexpr std::size_t kAccountRecordSize = 2848;
struct TAccountRecord : TRecordBytes<kAccountRecordSize> {};

namespace account {
constexpr TByteField kType{0};
constexpr TStrField kFullName{4, 254};
constexpr TStrField kAliases{260, 255};
constexpr TStrField kAccountName{516, 127};
constexpr TByteField kExpires{645};
constexpr TDoubleField kExpiryDate{648};
constexpr TU32Field kActiveValue{660};
constexpr TByteField kImapLayout{665};
constexpr TStrField kPassword{772, 127};
constexpr TStrField kMailboxPath{1028, 255};
constexpr TByteField kRights{1284};
constexpr TByteField kResponderState{1293};
constexpr TByteField kNoWelcomeMessage{1295};

constexpr std::uint8_t kUserAccount = 0;
constexpr std::uint8_t kAdministratorRights = 1;
constexpr std::uint8_t kResponderMask = 3;
constexpr std::uint32_t kActiveThreshold = 65536;
}  // namespace account

ZAREL_FIELD_FITS(TAccountRecord, account::kNoWelcomeMessage);
static_assert(kAccountRecordSize % 16 == 0, "records must keep the file-offset phase");
