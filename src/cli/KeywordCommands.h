// Keyword files: every asset's keyword text as one config tree, a string
// tag per asset named by its KUID text, in the order the daemon lists the
// assets. Written and read as config text whatever the file is called.
#pragma once

// Writes the keywords of every asset the daemon knows into the file (a
// file without tags when it knows none); an asset whose keywords cannot be
// read is written with an empty text. False only when the file cannot be
// written.
bool BackupKeywords(const char* folder, const char* fileName, const char* extension);

// Sends each tag of the file to the daemon as the keywords of its asset
// (request 54), in the file's order; a tag name that is no KUID text names
// the null KUID. The daemon's answers are not looked at. False, with
// nothing sent, when the file does not load.
bool ImportKeywords(const char* folder, const char* fileName, const char* extension);
