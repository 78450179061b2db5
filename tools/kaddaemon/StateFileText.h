// The text of the stand-in's state file, both ways.
//
// Every change rewrites the whole file from what the daemon read, so a
// reading that stopped early, passed over an entry or let one entry replace
// another would write the rest away at the first change. The generic
// config-text reader does all of these without a word (it ends at a NUL,
// takes a stray "}" for the end, keeps the last of two tags of one name):
// the state file is read here instead, taking exactly the shapes the daemon
// writes (and a person writes after them) and refusing everything else with
// the line where the reading stops.
//
// The shapes: an optional UTF-8 byte-order mark (without it the texts are
// Windows-1252 and read as UTF-8); one tag a line, its name and a value,
// quoted or not, or none; a container as its name with "{" on that line or
// the next and its tags up to a "}" line; CR LF or LF line ends, blank lines
// and indentation anywhere. Quoted texts may run over lines, whose ends read
// as CR LF; an unquoted text runs to its line's end, "\n" in it standing for
// a line end.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

#include "config/kuid/KUID.h"
#include "kad/requests/KADFilterElement.h"

namespace kaddaemon {

struct StateAsset {
    std::string keywords;
    bool favourite = false;
    // Changed since it was installed: a commit replaced its installed
    // folder. Nothing on disk tells this once the commit is done.
    bool modified = false;
};

// What a state file holds. Entries it does not give read as these defaults,
// so files of older daemons load as they are.
struct StateContent {
    int32_t nextContent = 1;
    std::string language;
    std::map<KUID, StateAsset, KADFilterElementAssetID::Order> assets;
    std::map<int32_t, std::string> authors;
    // The online requests' test settings ("online-profile" and the rest),
    // which they read from this file for themselves: each one the file
    // gives, by name, with its text (a number's in decimal).
    std::map<std::string, std::string> knobs;
};

// Fills `out` from the whole text of a state file. False, with `where`
// telling the line and what is wrong there ("line 7: a \"}\" closes no
// container"), when any of it is not in the file's shapes: a NUL byte, text
// that is no tag, a "}" closing nothing, a container left open, a name given
// twice where the second would replace the first, a tag the file does not
// hold, an asset entry naming no KUID or one named before, an author entry
// without a numeric id, or a value of the wrong kind.
bool ReadStateText(std::string_view text, StateContent& out, std::string& where);

// The text the daemon saves: UTF-8 with its mark, CR LF line ends.
std::string WriteStateText(const StateContent& state);

}  // namespace kaddaemon
