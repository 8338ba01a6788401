// e2e-driver: drives Tessaloom.exe from outside, as a person would, and checks what it shows.
//
//   e2e-driver.exe SCENARIO --app EXE --scratch DIR --catalogue-dir DIR --url URL
//                  [--support CONTACT] [--shots DIR] [-- SCENARIO-ARGS...]
//   e2e-driver.exe --list
//
// Paths are Windows paths. Exits 0 when the scenario passed, 1 when it failed, 2 on a usage
// error.
#include <cstddef>
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "Scenario.h"

namespace {

int Usage(const std::string& error) {
    std::fprintf(
        stderr,
        "e2e-driver: %s\n"
        "usage: e2e-driver SCENARIO --app EXE --scratch DIR --catalogue-dir DIR --url URL\n"
        "                  [--support CONTACT] [--shots DIR] [-- ARGS...]\n"
        "       e2e-driver --list\n",
        error.c_str());
    return 2;
}

const e2e::Scenario* FindScenario(const std::string& name) {
    for (const e2e::Scenario& scenario : e2e::Scenarios()) {
        if (scenario.name == name) return &scenario;
    }
    return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 1 && args[0] == "--list") {
        for (const e2e::Scenario& scenario : e2e::Scenarios()) {
            std::printf("%-24s %s\n", scenario.name.c_str(), scenario.summary.c_str());
        }
        return 0;
    }
    if (args.empty()) return Usage("no scenario given");

    e2e::Options options;
    options.scenario = args[0];
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--") {
            options.args.assign(args.begin() + static_cast<std::ptrdiff_t>(i) + 1, args.end());
            break;
        }
        if (i + 1 >= args.size()) return Usage("missing value for " + arg);
        const std::string& value = args[++i];
        if (arg == "--app") {
            options.app = value;
        } else if (arg == "--scratch") {
            options.scratch = value;
        } else if (arg == "--catalogue-dir") {
            options.catalogueDir = value;
        } else if (arg == "--url") {
            options.catalogueUrl = value;
        } else if (arg == "--support") {
            options.support = value;
        } else if (arg == "--shots") {
            options.shots = value;
        } else {
            return Usage("unknown option " + arg);
        }
    }
    if (options.app.empty() || options.scratch.empty() || options.catalogueDir.empty() ||
        options.catalogueUrl.empty()) {
        return Usage("--app, --scratch, --catalogue-dir and --url are required");
    }
    const e2e::Scenario* scenario = FindScenario(options.scenario);
    if (scenario == nullptr) return Usage("no scenario " + options.scenario + " (see --list)");

    std::printf("== %s: %s\n", scenario->name.c_str(), scenario->summary.c_str());
    std::fflush(stdout);
    try {
        e2e::Context context(options);
        scenario->run(context);
    } catch (const e2e::Failure& failure) {
        std::printf("FAILED: %s: %s\n", scenario->name.c_str(), failure.what());
        return 1;
    } catch (const std::exception& error) {
        std::printf("FAILED: %s: unexpected error: %s\n", scenario->name.c_str(), error.what());
        return 1;
    }
    std::printf("PASSED: %s\n", scenario->name.c_str());
    return 0;
}
