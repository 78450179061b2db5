// The work of the command words that go through the asset-database daemon
// and the other subsystems. The dispatcher has checked the parameters and
// parsed the KUIDs; each returns the command's exit code and reports into
// the command's log.
#pragma once

#include <cstdint>

#include "config/kuid/KUID.h"

class ResultsLog;

int CloseDaemonCommand(ResultsLog& log);
int InstallCDPCommand(ResultsLog& log, const char* packagePath);
// The folder exists.
int InstallFromPathCommand(ResultsLog& log, const char* folder);
int ImportConsistsCommand(ResultsLog& log, const char* listPath);
int EditCommand(ResultsLog& log, const KUID& kuid);
int PrintConfigCommand(ResultsLog& log, const KUID& kuid);
int CommandHostCommand(ResultsLog& log);
int ListBuildsCommand(ResultsLog& log, const char* outputPath);
int CommitCommand(ResultsLog& log, const KUID& kuid);
int RevertCommand(ResultsLog& log, const KUID& kuid);
int DeleteCommand(ResultsLog& log, const KUID& kuid);
int GenerateKUIDCommand(ResultsLog& log);
// Mode 150 ("extended"), 50 ("patcher") or 100.
int RepairDatabaseCommand(ResultsLog& log, uint32_t mode);
int AuthorsCommand(ResultsLog& log);
// The expression as given; the search upper-cases it. Without the Fetchery
// only local assets are searched.
int SearchByCategoryCommand(ResultsLog& log, bool includeFetchery, const char* expression);
int StatusCommand(ResultsLog& log, const KUID& kuid);
int ValidateCommand(ResultsLog& log, const KUID& kuid);
// argv[2] is the output path, argv[3] on the KUID texts.
int CreateCDPCommand(ResultsLog& log, int argc, char** argv);
int VrqParseCommand(ResultsLog& log, const char* packagePath);
int VrqDeleteAllCommand(ResultsLog& log);
int BackupKeywordsCommand(ResultsLog& log, const char* fileName);
int ImportKeywordsCommand(ResultsLog& log);
