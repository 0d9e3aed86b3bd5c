// Path, folder, file and text helpers of the install engine.
//
// Conventions the rest of the setup relies on: paths are ANSI texts with '\' as separator,
// a normalised folder path ends in exactly one '\', paths that pass through fixed-size
// fields are cut at 255 characters, and failures are a false or empty result, never a
// message. No helper keeps state. On POSIX hosts '\' becomes '/' only at the system call,
// so callers always build Windows-style paths.
#pragma once

#include <cstdint>
#include <cstdio>
#include <set>
#include <string>

#include "base/FileEntries.h"
#include <vector>

// <windows.h> maps these names to the ANSI/wide variants; a file that needs both includes
// <windows.h> first. Ours are the setup's own helpers.
#ifdef CopyFile
#undef CopyFile
#endif
#ifdef MoveFile
#undef MoveFile
#endif

constexpr std::size_t kShortPathMax = 255;

// Cuts a text to the 255 characters of a short-path field.
std::string ShortPath(const std::string& path);

std::string NormalizePath(const std::string& path, bool addSeparator, bool convertSlashes);
bool DirectoryExists(const std::string& path);
bool FileExists(const std::string& path);
bool IsAbsolutePath(const std::string& path);
bool ForceDirectories(const std::string& folder);
bool DeleteTree(const std::string& folder, const std::string& mask, bool recurse);
bool RemoveFolderTree(const std::string& folder);

// Windows wildcard match of one name: '*' any run, '?' one character, letter case ignored;
// a mask ending in ".*" also takes names without an extension ("*.*" takes every name).
bool MaskMatches(const std::string& mask, const std::string& name);

// Entries of folder whose names match mask, "." and ".." left out, in byte order of their
// names. opened, when given, tells whether the folder could be read at all.
std::vector<TDirEntry> ListDirectory(const std::string& folder, const std::string& mask,
                                     bool* opened = nullptr);

// Deletes a folder tree without ever following a link: a link at the top is refused, a link
// inside is removed itself, and every folder is entered through the handle that was checked,
// so a name swapped for a link between listing and descent leads nowhere.
TDeleteResult DeleteFolderTree(const std::string& folder, const TDeleteRule& rule);

// The file's bytes; empty when it is missing or cannot be read (see ReadWholeFileChecked).
std::string ReadWholeFile(const std::string& path, bool deleteAfterwards);
// The same, telling an empty file from one that cannot be read: false when the file cannot be
// opened or a read fails (a folder, a file another program holds without sharing).
bool ReadWholeFileChecked(const std::string& path, std::string& bytes);
// Creates the file's folder when needed and writes the text as the whole file. False when the
// file could not be created or not every byte reached it.
bool WriteWholeFile(const std::string& text, const std::string& path, bool deleteIfEmpty);
void ReplaceText(std::string& text, const std::string& oldText, const std::string& newText,
                 bool caseSensitive, bool replaceAll);
int PosFrom(const std::string& sub, const std::string& text, int firstPos, int lastPos);

enum class SpecialFolder { Temporary = 0, Windows = 1, System = 2 };
std::string GetSpecialFolder(SpecialFolder kind, bool noFallback);

bool CopyFile(const std::string& source, const std::string& target, bool failIfExists);
bool MoveFile(const std::string& source, const std::string& target);
bool DeleteFileAt(const std::string& path);

// What a name is, without following it. A link is a symbolic link, junction or other reparse
// point; names counts the hard links of the file or folder it names (1 for an ordinary file).
struct TNameFacts {
  bool exists = false;
  bool isLink = false;
  bool isDirectory = false;
  std::uint32_t names = 0;
};
TNameFacts InspectName(const std::string& path);

// Removes a link itself, never what it points to. False when it is no link or the system does
// not hand over the link itself (Wine opens what a link points to).
bool RemoveLinkItself(const std::string& path);

// How OpenFileForWriting treats an existing file.
enum class TWriteMode {
  CreateNew,  // the file must not exist
  Append,     // appended to; created when missing
  Replace,    // emptied once checked; created when missing
};

// Opens a file for writing without following a link: a name that is a link, or a file with
// more than one name (a hard link into another place), is refused, before anything is written
// or emptied. A file it creates lets SYSTEM and Administrators in and nobody else (on POSIX:
// its owner only). Null when refused or not opened.
std::FILE* OpenFileForWriting(const std::string& path, TWriteMode mode);
// The whole text into path through OpenFileForWriting (Replace); false when not written.
bool WritePrivateFile(const std::string& text, const std::string& path);

// Folder part of a path up to and including its last '\' or '/' (empty when there is none).
std::string ExtractFilePath(const std::string& path);
// Name part after the last '\' or '/'.
std::string ExtractFileName(const std::string& path);

// Hands the request to the shell; the result is not looked at. Does nothing on POSIX hosts.
void RunProgram(void* ownerWindow, const std::string& verb, const std::string& file,
                const std::string& parameters, const std::string& folder, int showCommand);

// Folder of the running program file, with a trailing '\'.
std::string ProgramFolder();

// Windows path as the host's system calls want it ('\' -> '/' on POSIX, unchanged on Windows).
std::string HostPath(const std::string& path);
