// catalogue-server --root DIR [--port 8917] [--bind 127.0.0.1] [--log FILE] [--fault
// PATH:OPTIONS]...
#include <signal.h>
#include <sys/stat.h>

#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "catalogue_server.h"

namespace {

int Usage(const char* error) {
    if (error) std::cerr << "catalogue-server: " << error << "\n";
    (error ? std::cerr : std::cout)
        << "usage: catalogue-server --root DIR [--port 8917] [--bind 127.0.0.1]"
           " [--log FILE] [--fault PATH:OPTIONS]...\n"
           "fault options: status=CODE truncate=BYTES close redirect=TARGET delay=MS\n"
           "  stall=MS chunked=SIZE size=BYTES nolength failfirst=N (see fault.h)\n";
    return error ? 2 : 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::string root, host = "127.0.0.1", logPath;
    int port = 8917;
    std::vector<catalogue_server::Fault> faults;

    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") return Usage(nullptr);
        if (i + 1 >= argc) return Usage(("missing value for " + arg).c_str());
        const std::string value = argv[++i];
        if (arg == "--root") {
            root = value;
        } else if (arg == "--bind") {
            host = value;
        } else if (arg == "--log") {
            logPath = value;
        } else if (arg == "--port") {
            try {
                std::size_t used = 0;
                port = std::stoi(value, &used);
                if (used != value.size() || port < 0 || port > 65535) throw std::out_of_range("");
            } catch (const std::exception&) {
                return Usage(("bad port " + value).c_str());
            }
        } else if (arg == "--fault") {
            std::string error;
            const auto fault = catalogue_server::ParseFault(value, error);
            if (!fault) return Usage(("bad fault " + value + ": " + error).c_str());
            faults.push_back(*fault);
        } else {
            return Usage(("unknown option " + arg).c_str());
        }
    }
    struct stat st {};
    if (root.empty()) return Usage("--root is required");
    if (stat(root.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        return Usage(("not a folder: " + root).c_str());
    }
    while (root.size() > 1 && root.back() == '/') root.pop_back();

    // Block the stop signals in every thread; the main thread waits for them below.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    try {
        catalogue_server::CatalogueServer server(root, logPath);
        for (const auto& fault : faults) server.SetFault(fault);
        const int bound = server.Bind(host, port);
        if (bound < 0) {
            std::cerr << "catalogue-server: cannot listen on " << host << ":" << port << "\n";
            return 1;
        }
        if (!server.Start()) {
            std::cerr << "catalogue-server: cannot serve on " << host << ":" << bound << "\n";
            return 1;
        }
        std::cout << "listening on " << host << ":" << bound << std::endl;

        int signalNumber = 0;
        sigwait(&stopSignals, &signalNumber);
        server.Stop();
    } catch (const std::exception& e) {
        std::cerr << "catalogue-server: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
