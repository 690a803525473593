#include "store/store.h"

const char* PortFilePath() { return "Port.txt"; }

const char* TraceFilePath() { return "c:/VcProjects/tessmar/RdFlash.txt"; }
