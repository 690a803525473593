// Where the stored settings live on this platform: "Port.txt" in the current
// folder, the trace file under the drive root, and (POSIX) the profile file.
#pragma once

// POSIX only: the folder that stands for drive "c:". Defaults to
// "$HOME/.tessmar/drive_c"; null or "" restores the default.
void StoreSetDriveRoot(const char* root);

// POSIX only: the INI file that plays the user's profile,
// <drive root>/windows/win.ini.
const char* ProfileFilePath();
