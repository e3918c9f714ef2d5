// Files on the test's device: laying out the card and the flash store, and reading back
// what an update left there. Paths are device paths ("/SDMMC/...").
#pragma once
#include <windows.h>
#include <map>
#include <string>
#include <vector>

// Creates the file with this content, and every folder above it.
void PutFile(const std::wstring &path, const std::string &content = "");
// Creates the folder and every folder above it.
void PutFolder(const std::wstring &path);
// The file's content, or "<none>" when there is no such file.
std::string Content(const std::wstring &path);
// The follow-on program's record of its start once whole (its last line, "arguments: ...",
// ended), or what the file holds after 10 s ("<none>": there is none).
std::string WaitForRecord(const std::wstring &path);
bool IsFolder(const std::wstring &path);
bool Exists(const std::wstring &path);
// Removes the tree (files, folders, read-only files too); nothing when it is missing.
void RemoveTree(const std::wstring &path);
// Every file below the folder: relative path ("a\b.txt") to content. The run's result record
// and its card copy are the run's account, not content: at the folder's top they are left out
// (Outcome reads them).
std::map<std::wstring, std::string> Tree(const std::wstring &folder);
// The word of a result record's outcome line, or what stands there instead ("<none>").
std::string Outcome(const std::wstring &path);
// The names listed in the folder (not "." and "..", nor a result record), sorted.
std::vector<std::wstring> Names(const std::wstring &folder);
// Copies the tree (files and folders) to a new place.
void CopyTree(const std::wstring &from, const std::wstring &to);
// A fresh device: no card, no flash store, nothing else in the device root.
void ClearDevice();
