// The asset commands' shared pieces that other code and tests call
// directly.
#pragma once

#include "config/kuid/KUID.h"
#include "config/results/ResultsLog.h"
#include "nyx/base/PString.h"

// The asset a result is about, as results name it ("AssetID").
PropertyRef AssetProperty(const KUID& kuid);
// An error result about the asset.
void AddAssetError(ResultsLog& log, const KUID& kuid, const char* text);

// "status": prints the asset's status line; false (with an error result)
// for an asset the daemon does not know.
bool PrintAssetStatus(const KUID& kuid, ResultsLog& log);
// "validate": the daemon's findings arrive in the log; true once the
// validation request went out.
bool ValidateAsset(const KUID& kuid, ResultsLog& log);
// "authors": the author's name of one asset; empty when none is known.
Nyx::PString AuthorNameOfAsset(const KUID& kuid);
