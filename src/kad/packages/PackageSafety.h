// The rules that keep a content package's names from reaching outside the
// folder its files are written to, and from writing files the simulator has
// no use for. Package contents are untrusted: extraction skips every name
// these rules refuse.
#pragma once

// A file or folder name of a package: not empty; only the letters A-Z and
// a-z, the digits and "-&,+'._$ ()~"; neither " ", "." nor "~" first; no
// " " last. Bytes of 0x80 and above are refused.
bool IsSafeFileName(const char* name);

// Every component of the path that ends at a "/" or "\" holds a byte other
// than "."; an empty component (a leading separator, two in a row) fails.
// The component after the last separator is not examined, and an empty path
// passes. Extraction applies it to the part of the path below the folder it
// extracts into, as an absolute folder itself begins with a separator here.
bool IsSafeFolderPath(const char* path);

// The extension of the path's last component is one a package may carry
// (letters compare without regard to case).
bool IsPackageFileType(const char* path);
