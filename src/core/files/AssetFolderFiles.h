// Creating, renaming, testing, deleting and copying the files of asset
// folders.
//
// Most operations take a folder name and a path. A non-empty folder names a
// folder below the content root: the full path is the content root, the
// folder and the path joined. An empty folder means the path stands alone and
// must then be absolute. FileExistsIn and CopyFileByStream instead hand their
// folder to the engine's file layer as a base (a mount name or a folder).
// Nothing here logs; every failure is a false result.
#pragma once

#include "nyx/files/File.h"
#include "nyx/base/PString.h"

// Creates a folder and any missing parents.
bool MakeContentFolder(const Nyx::PString& folder, const Nyx::File::Path& path);

// Moves a file or folder; with a folder both paths lie below that same folder.
bool RenameContentFile(const Nyx::PString& folder, const Nyx::File::Path& from, const Nyx::File::Path& to);

// True when the file exists. A relative path with an empty folder cannot be
// checked and counts as present.
bool FileExistsIn(const Nyx::PString& folder, const Nyx::File::Path& path);

// Removes a folder tree or a file. Only paths strictly inside the content
// root, with no ".." component, are ever removed; with no content root set
// nothing is.
bool DeleteContentPath(const Nyx::PString& folder, const Nyx::File::Path& path);

// Copies a file through the byte streams, in chunks of at most 16 MiB. False
// when either side does not open, when both name the same file, when the
// source yields fewer bytes than its size, or when a write falls short.
bool CopyFileByStream(const Nyx::PString& srcFolder, const Nyx::File::Path& srcPath, const Nyx::PString& dstFolder,
                      const Nyx::File::Path& dstPath);
