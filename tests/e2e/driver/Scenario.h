// Scenarios: one function each, registered by name with E2E_SCENARIO and chosen on the
// command line. The Context gives a scenario the program, its catalogue and the checks
// shared by several scenarios.
#pragma once

#include <string>
#include <vector>

#include "Catalogue.h"
#include "Constants.h"
#include "Driver.h"
#include "MessageBoxes.h"
#include "Process.h"

namespace e2e {

// How long the program, as built for these tests, waits for a silent server, and how long a
// fetch may take in all.
#if !defined(TESSALOOM_FETCH_TIMEOUT_SECONDS) || !defined(TESSALOOM_FETCH_TOTAL_SECONDS)
#error \
    "TESSALOOM_FETCH_TIMEOUT_SECONDS and TESSALOOM_FETCH_TOTAL_SECONDS must be defined by the build"
#endif
constexpr DWORD kFetchTimeoutMs = TESSALOOM_FETCH_TIMEOUT_SECONDS * 1000;
constexpr DWORD kFetchTotalMs = TESSALOOM_FETCH_TOTAL_SECONDS * 1000;

struct Options {
    std::string scenario;
    std::string app;                // Windows path of Tessaloom.exe
    std::string scratch;            // Windows path of the scenario's own scratch folder
    std::string catalogueDir;       // Windows path of the folder served at the catalogue URL
    std::string catalogueUrl;       // the catalogue URL compiled into the program
    std::string support;            // support contact compiled into the program; empty: unchecked
    std::string shots;              // Windows path of the screenshot hand-over folder; empty: none
    std::vector<std::string> args;  // anything after the options, for the scenario
    // Set by a scenario whose catalogue a plain web server serves: the Windows path of its
    // access log (see Catalogue).
    std::string accessLog;
};

struct Context {
    explicit Context(Options given);

    // Starts the program in the scratch folder.
    AppProcess Launch(const std::string& arguments = std::string()) const;

    std::string ServerListUrl() const { return catalogue.UrlOf(kServerListName); }

    // Checks the program's retry prompt for a failed download of `url` with `code`: titled
    // with the program's name, Retry and Cancel, no icon.
    void CheckDownloadPrompt(const MessageBoxInfo& box, unsigned long code,
                             const std::string& url) const;

    // Has the run script take a screenshot of the whole screen named `name`.png, when it
    // collects screenshots; waits until it is taken.
    void Screenshot(const std::string& name) const;

    const Options options;
    const Catalogue catalogue;
};

// Checks that a prompt for a fetch that ran out of time came once the program's fetch timeout
// had passed since `start` (a GetTickCount64 value taken before the fetch), and not long after.
void CheckGaveUpAfterTimeout(unsigned long long start, DWORD limitMs = kFetchTimeoutMs);

using ScenarioFunction = void (*)(Context& ctx);

struct Scenario {
    std::string name;
    std::string summary;
    ScenarioFunction run;
};

// Every registered scenario, in registration order.
std::vector<Scenario>& Scenarios();

struct ScenarioRegistration {
    ScenarioRegistration(const char* name, const char* summary, ScenarioFunction run);
};

}  // namespace e2e

// Defines and registers a scenario: E2E_SCENARIO(list_lf, "what it shows") { ...ctx... }
#define E2E_SCENARIO(name, summary)                                                     \
    static void E2eScenario_##name(e2e::Context& ctx);                                  \
    static const e2e::ScenarioRegistration e2eRegistration_##name(#name, summary,       \
                                                                  &E2eScenario_##name); \
    static void E2eScenario_##name(e2e::Context& ctx)
