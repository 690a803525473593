// loader_sim: the simulated device as a program, for the Windows tests under
// Wine and the demo. Prints the slave's path on its first output line and
// runs until SIGTERM, SIGINT or SIGHUP.
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tools/loader_sim/loader_sim.h"

namespace {

void Usage() {
    fprintf(stderr,
            "usage: loader_sim [options]\n"
            "  --link PATH         keep a symlink at PATH pointing at the slave\n"
            "  --path-file FILE    write the slave's path into FILE once it is open\n"
            "  --app               start in the application firmware (reset request or raw reset at 38400)\n"
            "  --loader-baud N     the loader answers only at N bit/s\n"
            "  --log FILE          one line per frame received\n"
            "  --image FILE        the delivered image, rewritten on every stored packet\n"
            "  --fault FAULT       KIND[=VALUE][,cmd=HH][,seq=N][,times=N][,skip=N], repeatable;\n"
            "                      KIND: silent error wrong-ack bad-crc long split delay drop stall\n");
}

}  // namespace

int main(int argc, char** argv) {
    SIM_OPTIONS options;
    std::string path_file;
    std::vector<SIM_FAULT> faults;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        bool has_value = i + 1 < argc;
        if (arg == "--app") {
            options.app_mode = true;
        } else if (arg == "--link" && has_value) {
            options.link_path = argv[++i];
        } else if (arg == "--path-file" && has_value) {
            path_file = argv[++i];
        } else if (arg == "--loader-baud" && has_value) {
            options.loader_baud = static_cast<uint32_t>(strtoul(argv[++i], nullptr, 10));
        } else if (arg == "--log" && has_value) {
            options.log_file = argv[++i];
        } else if (arg == "--image" && has_value) {
            options.image_file = argv[++i];
        } else if (arg == "--fault" && has_value) {
            SIM_FAULT fault;
            if (!SimParseFault(argv[++i], &fault)) {
                fprintf(stderr, "loader_sim: bad fault '%s'\n", argv[i]);
                return 2;
            }
            faults.push_back(fault);
        } else {
            Usage();
            return 2;
        }
    }

    // The simulator's thread inherits this mask, so the signals reach only
    // the sigwait below.
    sigset_t stop_signals;
    sigemptyset(&stop_signals);
    sigaddset(&stop_signals, SIGTERM);
    sigaddset(&stop_signals, SIGINT);
    sigaddset(&stop_signals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);

    LOADER_SIM* sim = SimStart(options);
    if (!sim) {
        fprintf(stderr, "loader_sim: no pseudo-terminal\n");
        return 1;
    }
    for (const SIM_FAULT& fault : faults) SimAddFault(sim, fault);
    std::string slave = SimSlavePath(sim);
    if (!path_file.empty()) {
        std::string tmp = path_file + ".tmp";
        FILE* f = fopen(tmp.c_str(), "w");
        if (f) {
            fprintf(f, "%s\n", slave.c_str());
            fclose(f);
            rename(tmp.c_str(), path_file.c_str());
        }
    }
    printf("%s\n", slave.c_str());
    fflush(stdout);

    int signal_number = 0;
    sigwait(&stop_signals, &signal_number);
    SimStop(sim);
    return 0;
}
