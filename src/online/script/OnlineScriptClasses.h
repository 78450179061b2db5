// Hands the online script classes to the script API below this module: the
// OnlineAccess and OnlineGroup native tables, entered at their places by
// script-system start-up, and the Library's road to an asset's
// OnlineAccess object. A host runs it once, before start-up.
#pragma once

void InstallOnlineScriptClasses();
