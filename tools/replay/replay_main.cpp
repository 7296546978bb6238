// hub-replay: runs the hub's own logic on a script of events and prints every
// datagram, control text and dialog action as one JSON line; draws it, and
// tells it as a report, from the same run.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>

#include "plot.h"
#include "replay_run.h"
#include "report.h"
#include "session_story.h"

namespace {

bool writeFile(const std::string& path, const std::string& contents) {
    std::ofstream file(path, std::ios::binary);
    file << contents;
    if (file.flush()) return true;
    std::fprintf(stderr, "hub-replay: cannot write %s\n", path.c_str());
    return false;
}

// The name a report gives its script: the file's own name, without folders.
std::string scriptName(const std::string& path) {
    if (path.empty()) return "standard input";
    const std::size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

int runMain(int argc, char** argv) {
    CLI::App app("Runs the hub's logic on a script of events (JSON Lines) and prints every datagram, control text "
                 "and dialog action as one JSON line.",
                 "hub-replay");
    std::string plotPath;
    std::string reportPath;
    std::string scriptPath;
    app.add_option("--plot", plotPath, "also draw the locomotion and feeder values over time into this SVG file")
        ->type_name("FILE.svg");
    app.add_option("--report", reportPath,
                   "also write a report of the session into this HTML file, to open in a browser: summary, tick "
                   "timing, timeline, the wire and the plot")
        ->type_name("FILE.html");
    app.add_option("SCRIPT", scriptPath, "the script to run (default: standard input)");
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        if (error.get_exit_code() == 0) return app.exit(error);  // --help
        std::fprintf(stderr, "hub-replay: %s (hub-replay --help shows the options)\n", error.what());
        return 2;
    }
    hub::replay::PlotRecorder plot;
    hub::replay::StoryWatcher story;
    std::vector<hub::replay::ReplayWatcher*> watchers;
    if (!plotPath.empty() || !reportPath.empty()) watchers.push_back(&plot);
    if (!reportPath.empty()) watchers.push_back(&story);
    int status = 0;
    if (!scriptPath.empty()) {
        std::ifstream file(scriptPath);
        if (!file) {
            std::fprintf(stderr, "hub-replay: cannot open %s\n", scriptPath.c_str());
            return 2;
        }
        status = hub::replay::runScript(file, stdout, watchers);
    } else {
        status = hub::replay::runScript(std::cin, stdout, watchers);
    }
    std::fflush(stdout);
    if (status != 0) return status;
    if (!plotPath.empty() && !writeFile(plotPath, plot.svg())) return 2;
    if (!reportPath.empty() &&
        !writeFile(reportPath, hub::replay::reportHtml(story.story(), scriptName(scriptPath), plot.svg()))) {
        return 2;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) { return runMain(argc, argv); }
