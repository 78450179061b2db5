// Keyword files: every asset's keyword text as one config tree, a string
// tag per asset named by its KUID text, in the order the daemon lists the
// assets. Written and read as config text whatever the file is called.
#pragma once

class ResultsLog;

// Writes the keywords of every asset the daemon knows into the file (a
// file without tags when it knows none); an asset the daemon answers for
// without its keywords is written with an empty text. False when the file
// cannot be written, and, with the file left as it was and the lost
// connection said in the log, when a request got no reply.
bool BackupKeywords(const char* folder, const char* fileName, const char* extension, ResultsLog& log);

// Sends each tag of the file to the daemon as the keywords of its asset
// (request 54), in the file's order; a tag name that is no KUID text names
// the null KUID. The daemon's answers are not looked at. False, with
// nothing sent, when the file does not load. A text too long for the
// request is not sent: an error result of its asset, the others still go,
// and false at the end. A request that got no reply ends the import: the
// lost connection said in the log, and false.
bool ImportKeywords(const char* folder, const char* fileName, const char* extension, ResultsLog& log);
