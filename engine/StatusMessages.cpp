#include "StatusMessages.h"

#include <algorithm>
#include <array>
#include <utility>

namespace kavrel {

namespace {

constexpr std::array<std::pair<int, std::string_view>, 83> kMessages = {{
    // Run-and-wait of a program during installation: the argument is the
    // command line, shown as it is.
    {18, "%s"},
    {909, "Download update file : "},
    {910, "Download update files ?"},
    {911, "Shutdown application to update executable files ?"},
    {912, "Equal source and target files : %s"},
    {913, "File not found : %s"},
    {914, "Zero length source file : %s"},
    {915, "Download : %s"},
    {916, "Http status : %s"},
    {917, "File not found : %s"},
    {918, "Checking for Internet connection"},
    {919, "Prompt to open new Internet connection"},
    {920, "Opening Internet connection"},
    {921, "Found open Internet connection"},
    {922, "Cannot open Internet connection"},
    {923, "Connect to host : %s"},
    {924, "Cannot connect to FTP host : %s"},
    {925, "Update control file not found"},
    {926, "Update control file found"},
    {927, "Invalid signature in update control file"},
    {928, "Date based update found"},
    {929, "New version found : %s"},
    {930, "No new version found"},
    {931, "Checksum based update found"},
    {932, "File size based update found"},
    {933, "Version based update found"},
    {934, "Found message instruction"},
    {935, "Found HTML dialog instruction"},
    {936, "Found query instruction"},
    {937, "Found whatsnew instruction"},
    {938, "Whatsnew not accepted"},
    {939, "Found license agreement instruction"},
    {940, "License agreement not accepted"},
    {941, "Found URL redirection instruction"},
    {942, "Found URL show instruction"},
    {943, "Found file update instruction"},
    {944, "Version check : %s"},
    {945, "Download update : %s"},
    {946, "Cannot download update file : %s"},
    {947, "Error decompressing CAB file : %s"},
    {948, "Finished processing update control file"},
    {949, "Closed Internet connection"},
    {950, "Failed to spawn updater process : %s"},
    {951, "Cannot connect to server for post"},
    {952, "Cannot access resource for post"},
    {953, "Dialup failed"},
    {954, "Closed FTP connection"},
    {955, "Disconnect dialup"},
    {956, "Authentication cancelled"},
    {957, "Authentication failed"},
    {958, "Spawn %s"},
    {959, "Restart app in directory : %s"},
    {960, "Threaded update execution done"},
    {961, "Restart after threaded update"},
    {962, "Found application component : %s"},
    {963, "Start Kavrel process with version : %s"},
    {964, "Kavrel process cancelled"},
    {965, "Extract CAB file : %s"},
    {966, "OS version : %s"},
    {967, "IE version : %s"},
    {968, "Start update : %s ---------------------------"},
    {969, "Compiler : %s"},
    {970, "Installed IDEs : %s"},
    {971, "Processing file : %s"},
    {972, "Cannot delete file : %s"},
    {973, "Cannot rename file : %s"},
    {974, "Change FTP directory to : %s"},
    {975, "Cannot change FTP directory to : %s"},
    {976, "System error : %s"},
    // Signed updates.
    {977, "Update control file signature not accepted : %s"},
    {978, "Update control file not accepted : %s"},
    {979, "File does not match the signed update : %s"},
    {980, "Address not followed : %s"},
    // Limits while data arrives.
    {981, "Transfer stopped : %s"},
    {982, "Temporary folder : %s"},
    {983, "Updater started with administrator rights, this user cannot write : %s"},
    {984, "Error expanding LZ file : %s"},
    {985, "Update refused : %s"},
    {986, "Update not fully applied : %s"},
    {987, "Patch not applied : %s"},
    // Updates as transactions.
    {988, "Update rolled back : %s"},
    {989, "Unfinished update completed : %s"},
    {990, "Update not applied again, it was rolled back : %s"},
}};

static_assert(std::is_sorted(kMessages.begin(), kMessages.end()));

}  // namespace

std::string_view StatusMessageText(int ident) {
  const auto it = std::lower_bound(kMessages.begin(), kMessages.end(), ident,
                                   [](const auto& entry, int key) { return entry.first < key; });
  return it != kMessages.end() && it->first == ident ? it->second : std::string_view();
}

}  // namespace kavrel
