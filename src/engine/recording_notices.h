// What the hub tells the user about its recording, in message boxes: a
// recording that cannot start (before the dialog, the hub then runs without
// one) and a recording that ended before the session (once the dialog has
// closed). The recording never ends the hub.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "base/edges.h"
#include "engine/recording_writer.h"

namespace hub {

// The file the switch record names (absent: no switch; empty: no path after
// it). Null without the switch, and also, after telling the user, when the
// path is missing or the file cannot be created.
std::unique_ptr<RecordingFile> openRecordingFile(std::optional<std::string_view> path, RecordingFiles& files,
                                                 Window& window);

// Tells the user, after the writer has closed, that the recording at the
// path ended early and why; nothing when it is whole.
void reportEarlyStop(const RecordingWriter& writer, std::string_view path, Window& window);

}  // namespace hub
