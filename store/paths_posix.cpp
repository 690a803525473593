// Without drive letters, drive "c:" is a folder, the drive root:
// "$HOME/.tessmar/drive_c" unless StoreSetDriveRoot names another. Below it
// the files sit where they would on drive c: (and where Wine keeps them in
// its prefix's drive_c):
//   trace file  <root>/VcProjects/tessmar/RdFlash.txt
//   profile     <root>/windows/win.ini, section [Tessmar_App]
// "Port.txt" stays relative to the current folder.
#include <cstdlib>
#include <string>

#include "store/paths.h"
#include "store/store.h"

namespace {

// Built once per root, so a path handed out stays valid until the root changes.
std::string g_trace_path;
std::string g_profile_path;

void MakePaths(const char* root) {
    std::string base;
    if (root != nullptr && root[0] != '\0') {
        base = root;
    } else {
        const char* home = std::getenv("HOME");
        base = std::string((home != nullptr && home[0] != '\0') ? home : ".") + "/.tessmar/drive_c";
    }
    g_trace_path = base + "/VcProjects/tessmar/RdFlash.txt";
    g_profile_path = base + "/windows/win.ini";
}

void EnsurePaths() {
    if (g_trace_path.empty()) MakePaths(nullptr);
}

}  // namespace

void StoreSetDriveRoot(const char* root) { MakePaths(root); }

const char* PortFilePath() { return "Port.txt"; }

const char* TraceFilePath() {
    EnsurePaths();
    return g_trace_path.c_str();
}

const char* ProfileFilePath() {
    EnsurePaths();
    return g_profile_path.c_str();
}
