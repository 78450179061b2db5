// Hands the script API's pieces to the layers below it that call up into it:
// the daemon client's description registry, the validation road's script
// compile and the online script classes. Run once at start-up, before the
// daemon client starts.
#pragma once

void InstallScriptApi();
