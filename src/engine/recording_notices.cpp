#include "engine/recording_notices.h"

namespace hub {

namespace {

constexpr std::string_view kCaption = "VR Stepdeck monitor";

}  // namespace

std::unique_ptr<RecordingFile> openRecordingFile(std::optional<std::string_view> path, RecordingFiles& files,
                                                 Window& window) {
    if (!path) return nullptr;
    if (path->empty()) {
        window.messageBox("The switch -record needs the path of a file after it.\nThe hub runs without recording.",
                          kCaption);
        return nullptr;
    }
    std::string whyNot;
    std::unique_ptr<RecordingFile> file = files.create(*path, whyNot);
    if (file == nullptr) {
        window.messageBox("The recording file cannot be created:\n" + std::string(*path) + "\n" + whyNot +
                              "\nThe hub runs without recording.",
                          kCaption);
    }
    return file;
}

void reportEarlyStop(const RecordingWriter& writer, std::string_view path, Window& window) {
    const std::optional<std::string> reason = writer.stoppedEarly();
    if (!reason) return;
    window.messageBox("The recording stopped early:\n" + std::string(path) + "\n" + *reason +
                          "\nThe file holds the session up to that point.",
                      kCaption);
}

}  // namespace hub
