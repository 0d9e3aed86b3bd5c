// The process-wide state behind the store's free functions. Internal to serverconfig/.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "serverconfig/ConfigTextUnit.h"
#include "serverconfig/DomainEntry.h"
#include "serverconfig/ServerSettings.h"
#include "xml/XMLUnit.h"

struct TStoreState {
  std::string RootFolder;
  std::string ConfigFolder;
  std::string HtmlFolder;
  std::string HtmlTempFolder;
  std::string ForwardFolder;
  std::string ForwardRetryFolder;
  std::string OutgoingBind;
  std::string IPv6Bind;
  TPathConfig PathConfig;
  TServerTitle Title;
  TXMLObject InfoXml;

  TServerSettings Settings = CompiledInServerSettings();
  // Allocated entries x 96 bytes; the valid ones are counted by Settings at 7020.
  std::vector<std::uint8_t> DomainTable;

  std::string LastFoundName;
  int LastFoundIndex = -1;
  bool SubdomainsPresent = false;
  bool PrimaryBindingsKnown = false;
  bool PrimaryHasBindings = false;
  // An existing settings.cfg or domains.cfg could not be read: saving now would replace the
  // customer's configuration with what happens to be in memory.
  bool StoreUnreadable = false;
  std::string UnreadableFile;  // which of the two, for the person to check
  std::int64_t SettingsFileTime = 0;
};

TStoreState& StoreState();
// A fresh state: compiled-in settings image, no table, no folders.
void ResetStoreState();

// Valid entries: the settings count, kept within what is allocated.
int StoreDomainCount();
void SetStoreDomainCount(int count);
int AllocatedDomainEntries();
std::uint8_t* DomainEntryAt(int index);
// Empties the table and forgets the last domain found.
void ClearDomainTable();
