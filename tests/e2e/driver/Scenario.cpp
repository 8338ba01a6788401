#include "Scenario.h"

#include <cstdio>
#include <utility>

#include "FileTree.h"

namespace e2e {

Context::Context(Options given)
    : options(std::move(given)),
      catalogue(options.catalogueUrl, options.catalogueDir, options.accessLog) {}

AppProcess Context::Launch(const std::string& arguments) const {
    Step("start " + options.app);
    return AppProcess::Start(options.app, arguments, options.scratch);
}

void CheckGaveUpAfterTimeout(unsigned long long start, DWORD limitMs) {
    const unsigned long long elapsed = ElapsedMs(start);
    Check(elapsed + 250 >= limitMs && elapsed < limitMs + 15000,
          "the fetch gave up once its " + std::to_string(limitMs) + " ms had passed (" +
              std::to_string(elapsed) + " ms)");
}

void Context::CheckDownloadPrompt(const MessageBoxInfo& box, unsigned long code,
                                  const std::string& url) const {
    char hex[16];
    std::snprintf(hex, sizeof hex, "%08lx", code);
    const std::string head = std::string("An error (0x") + hex + ") occured while downloading " +
                             url + ".\nPlease contact ";
    const std::string tail = ", or try to download the file manually.";
    if (!options.support.empty()) {
        CheckMessageBox(box, kAppTitle, head + options.support + tail, {IDRETRY, IDCANCEL}, false);
        return;
    }
    // The support contact is not known here: check everything around it.
    const std::string& text = box.text;
    bool framed = text.size() > head.size() + tail.size() &&
                  text.compare(0, head.size(), head) == 0 &&
                  text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
    const std::string contact =
        framed ? text.substr(head.size(), text.size() - head.size() - tail.size()) : std::string();
    if (!framed || contact.find('\n') != std::string::npos) {
        Fail("message box text\n   expected " + Quote(head + "<support>" + tail) +
             "\n   actual   " + Quote(text));
    }
    CheckMessageBox(box, kAppTitle, text, {IDRETRY, IDCANCEL}, false);
    Note("support contact in the text: " + Quote(contact));
}

void Context::Screenshot(const std::string& name) const {
    if (options.shots.empty()) return;
    const std::string base = options.shots + "\\" + name;
    WriteBytes(base + ".request", "");
    if (WaitUntil([&] { return PathExists(base + ".done"); }, 20000)) {
        Note("screenshot " + name + ".png taken");
    } else {
        Note("warning: screenshot " + name + ".png was not taken");
    }
}

std::vector<Scenario>& Scenarios() {
    static std::vector<Scenario> scenarios;
    return scenarios;
}

ScenarioRegistration::ScenarioRegistration(const char* name, const char* summary,
                                           ScenarioFunction run) {
    Scenarios().push_back({name, summary, run});
}

}  // namespace e2e
