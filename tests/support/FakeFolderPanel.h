#pragma once

#include "platform/FolderPanel.h"

#include <QList>

namespace veltrin::test {

// Records every panel that is begun; a test answers them later, in any order, like a user would.
class FakeFolderPanel final : public FolderPanel {
public:
    struct Request {
        FolderPanelOptions options;
        Completion completion;
        bool answered = false;
    };

    void begin(const FolderPanelOptions& options, Completion completion) override;

    int requestCount() const { return int(m_requests.size()); }
    const FolderPanelOptions& options(int index) const { return m_requests.at(index).options; }
    int openCount() const;

    // Answer request `index` (default: the newest open one).
    void choose(const QUrl& folder, int index = -1);
    void chooseNothing(int index = -1); // OK without a URL
    void cancel(int index = -1);

private:
    void answer(int index, FolderPanelResponse response, std::optional<QUrl> url);

    QList<Request> m_requests;
};

} // namespace veltrin::test
