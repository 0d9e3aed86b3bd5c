// The domain table of the configuration store (see DomainEntry.h) and its operations. A domain
// index is a position in the table; entry 0 is the primary domain. Names are held to 91
// characters wherever they enter the table.
#pragma once

#include <string>

int DomainCount();

// Grows the table when it is full or when growBy is not 1; a non-empty name is stored lower
// case as the next entry.
bool AddDomain(const std::string& name, int growBy = 1);

// True when name (a domain, an address "user@domain", an address literal "[1.2.3.4]" with the
// option on, or a name subdomains.dat maps) names a known domain; index gets its entry.
bool FindDomain(const std::string& name, int* index = nullptr);

std::string GetDomainName(int index);
// Stored as given (no lower-casing).
void SetDomainName(int index, const std::string& name);
// Dotted IPv4; empty for 0.0.0.0.
std::string GetDomainAddress(int index);
// Empty text means 0.0.0.0; text that is not an address also stores 0.0.0.0.
void SetDomainAddress(int index, const std::string& address);

// Configuration folder + domain name + "\".
std::string DomainFolder(int index);
std::string DomainFolderOf(const std::string& domainName);

// The entry's address and its bind.dat line as one ";"-list.
std::string GetDomainBindings(int index);
void SetDomainBindings(int index, const std::string& bindings, bool keepFile);

bool MakeDomainPrimary(int index);

constexpr const char* kAllAddressesInBindFile = "255.255.255.255";
