#include "FakeFolderPanel.h"

#include <QTest>

namespace veltrin::test {

void FakeFolderPanel::begin(const FolderPanelOptions& options, Completion completion)
{
    m_requests.append({options, std::move(completion), false});
}

int FakeFolderPanel::openCount() const
{
    return int(std::count_if(m_requests.begin(), m_requests.end(), [](const Request& r) { return !r.answered; }));
}

void FakeFolderPanel::choose(const QUrl& folder, int index)
{
    answer(index, FolderPanelResponse::ok, folder);
}

void FakeFolderPanel::chooseNothing(int index)
{
    answer(index, FolderPanelResponse::ok, std::nullopt);
}

void FakeFolderPanel::cancel(int index)
{
    answer(index, FolderPanelResponse::cancel, std::nullopt);
}

void FakeFolderPanel::answer(int index, FolderPanelResponse response, std::optional<QUrl> url)
{
    if (index < 0) {
        for (index = int(m_requests.size()) - 1; index >= 0 && m_requests.at(index).answered; --index) { }
    }
    if (index < 0 || index >= m_requests.size() || m_requests.at(index).answered) {
        QTest::qFail("no open folder panel to answer", __FILE__, __LINE__);
        return;
    }
    Request& request = m_requests[index];
    request.answered = true;
    // Copy first: the completion may begin another panel and grow the list.
    const Completion completion = request.completion;
    completion(response, std::move(url));
}

} // namespace veltrin::test
