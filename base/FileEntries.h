// What the file-system helpers and their backends both speak of: one entry of a folder, and
// the rule and outcome of a tree deletion.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

struct TDirEntry {
  std::string name;
  bool isDirectory = false;
  bool isReadOnly = false;
  // A symbolic link, junction or other reparse point: the walks never enter it.
  bool isLink = false;
  std::uint64_t size = 0;
};

// What one tree deletion takes and what it leaves.
struct TDeleteRule {
  std::string mask = "*.*";  // entries (files, links and sub-folders) taken at every level
  bool recurse = true;
  bool deleteReadOnly = false;
  // Files that stay, relative to the top folder and in lower case ("rules\\local.cf"); the
  // folders holding them stay with them.
  std::set<std::string> kept;
};

struct TDeleteResult {
  bool refused = false;  // the top is a link or no folder: nothing was touched
  bool removed = false;  // the top folder itself is gone
  std::vector<std::string> kept;  // full paths of the kept files that were found
};

