#include "cli/HelpText.h"

#include <cstdio>

namespace {

constexpr std::string_view kHelpText =
    "Welcome to the Kestro Util Tool!\n"
    "This is a simple command line tool to perform several content management functions to install/delete/modify assets.\n"
    "----------------------------------------------------------\n"
    "KestroUtil help - Display this help text.\n"
    "KestroUtil version - Display the KestroUtil build version.\n"
    "KestroUtil echo <text> - Echo the supplied text.\n"
    "KestroUtil installCDP <PATH> - Install an asset from a CDP file.\n"
    "KestroUtil installfrompath <PATH> - Install an asset from a directory.\n"
    "KestroUtil edit <KUID> - Open an asset for editing.\n"
    "KestroUtil printconfig <KUID> - Print a config file to stdout.\n"
    "KestroUtil backupkeywords - Backup all the keywords of your assets.\n"
    "KestroUtil importkeywords - Import keywords into the Kestro Asset Database.\n"
    "KestroUtil commit <KUID> - Commit any edits that have been made to the specified asset.\n"
    "KestroUtil revert <KUID> - Discard any edits that have been made to the specified asset.\n"
    "KestroUtil delete <KUID> - Delete the specified asset from disk.\n"
    "KestroUtil generateKUID - Generate a new KUID number in the local user's KUID range.\n"
    "KestroUtil createCDP <Output Filename.cdp> <kuid1> <kuid2> <kuidX> ... - Export assets to a CDP file.\n"
    "KestroUtil repairdatabase - Repairs the Kestro Asset Database.\n"
    "KestroUtil authors - List of all the authorIDs that have content in the game.\n"
    "KestroUtil searchbycategory [-a] <CatgoryList>  - List all the local assets with a category set in this format, \"CMP;MESH|BD;-ACTV|VE|SCEN\". Use the -a parameter if you want to search the Fetchery as well.\n"
    "KestroUtil importconsists <PATH> - Import an old style Mapwright consist list, creating consist assets for any unknown entries.\n"
    "KestroUtil status <KUID> - Print the status of the specified asset.\n"
    "\tThis will output <KUID> : <Flags> : <category> : <username> where flags are a series of letters with case indicating boolean state. (Capital letters are flagged true and lowercase are flagged false.)\n"
    "\tEe - The asset is open for edit.\n"
    "\tIi - The asset is installed locally.\n"
    "\tAa - The asset is archived.\n"
    "\tDd - The asset is on the Fetchery.\n"
    "\tLl - The asset is locally modified.\n"
    "\tMm - The asset has missing dependencies.\n"
    "\tFf - The asset is faulty.\n"
    "KestroUtil validate <KUID> - Perform validation and display any errors or warnings relating to this asset.\n"
    "KestroUtil compile <PATH> - Compile a script file.\n"
    "\t<-d>       Display gamescript documentation.\n"
    "\t<-s>       Silent mode.\n"
    "\t<-bPATH>   Specify a filepath for the compile log.\n"
    "\t<-pPATH>   Specify the output directory.\n"
    "\t<-oPATH>   Specify the output library filename.\n"
    "\t<PATH>     Input source file.\n"
    "\t<-iPATH>   Additional include path.\n"
    "KestroUtil encrypt <PATH> - Encrypt a script file (gs --> gse).\n"
    "KestroUtil listbuilds <PATH> - Print the list of installed build numbers to a file\n"
    "KestroUtil @<file.txt> - Batch-execute a series of commands from the specified text file (every argument must be between double quotes.) Every line of that text file will be processed like a separate call to KestroUtil.\n";

}  // namespace

std::string_view HelpText() { return kHelpText; }

void PrintHelpText()
{
    std::fwrite(kHelpText.data(), 1, kHelpText.size(), stdout);
    std::fputc('\n', stdout);
}
