// One-time migration of the registry keys left by older product generations.
//
// Under HKEY_LOCAL_MACHINE: \Software\Zarel becomes \Software\Quenfor\Zarel Mail Server and
// \Software\QWEBMAIL becomes \Software\Quenfor\Quenfor Web Mail. Once \Software\Quenfor
// exists nothing is done at all, so a second run (the install sequence after start-up)
// neither copies again nor deletes the older keys. The first error ends the migration
// where it is: what was copied stays, the older key is kept. Nothing is ever reported.
#pragma once

// Gives true when the migration ran to its end (or had nothing to do), false when an error
// stopped it; callers may ignore it.
bool ConvertRegistry(bool deleteOld);

// Binary settings are carried over through a buffer of this size; a longer value stops the
// migration.
constexpr unsigned kMigratedBinaryMax = 4096;
