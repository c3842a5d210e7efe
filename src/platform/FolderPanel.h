#pragma once

#include <QString>
#include <QUrl>

#include <functional>
#include <optional>

namespace veltrin {

struct FolderPanelOptions {
    QString message;
    QString prompt;
    bool canChooseFiles = true;
    bool canChooseDirectories = false;
    bool canCreateDirectories = true;
    QUrl directoryURL;
};

enum class FolderPanelResponse { ok, cancel };

// A folder chooser that does not block: begin() returns at once and the completion runs
// later on the main thread, exactly once, with the response and the chosen item (if any).
class FolderPanel {
public:
    using Completion = std::function<void(FolderPanelResponse response, std::optional<QUrl> url)>;

    virtual ~FolderPanel() = default;
    virtual void begin(const FolderPanelOptions& options, Completion completion) = 0;
};

} // namespace veltrin
