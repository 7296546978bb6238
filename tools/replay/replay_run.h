// Runs a replay script through the hub's own logic: the printer prints every
// line, and watchers (the plot, the report) see the very same run.
#pragma once

#include <cstdint>
#include <cstdio>
#include <istream>
#include <vector>

#include "replay_script.h"
#include "scripted_edges.h"

namespace hub {
struct Hub;
}

namespace hub::replay {

// Sees a replay as it runs: everything the hub's edges do (EdgeObserver), and
// the hub after each event the replay applies to it.
class ReplayWatcher : public testing::EdgeObserver {
public:
    // The config, once start-up and the dialog's initialisation have run.
    virtual void started(const ConfigEvent&, const Hub&) {}
    // Before and after a timer message.
    virtual void beginTick(std::uint64_t, const Hub&) {}
    virtual void endTick(const Hub&) {}
    // Any other event of the script, once the hub has taken it.
    virtual void applied(const Event&, const Hub&) {}
    // The script is read to its end or the hub has ended.
    virtual void finished(const Hub&) {}
};

// Runs the script, printing to `out`; every watcher sees the run. Returns the
// exit status of hub-replay: 0, or 2 for a line that is not valid (told on
// standard error).
int runScript(std::istream& in, std::FILE* out, const std::vector<ReplayWatcher*>& watchers);

}  // namespace hub::replay
