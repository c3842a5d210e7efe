#include "app/editor/DraftSplicer.h"

#include <algorithm>

namespace veltrin {

namespace {

// The characters QTextCursor::insertText turns into a block break (CR LF counts once).
bool isBreak(QChar c)
{
    return c == u'\n' || c == u'\r' || c == QChar::ParagraphSeparator || c == QChar(0xFDD0)
        || c == QChar(0xFDD1);
}

} // namespace

QString DraftSplicer::shownText(const QString& draft)
{
    QString shown;
    shown.reserve(draft.size());
    for (qsizetype i = 0; i < draft.size(); ++i) {
        const QChar c = draft[i];
        if (!isBreak(c)) {
            shown += c;
            continue;
        }
        if (c == u'\r' && i + 1 < draft.size() && draft[i + 1] == u'\n')
            ++i;
        shown += QChar::ParagraphSeparator;
    }
    return shown;
}

void DraftSplicer::reset(const QString& draft)
{
    m_draft = draft;
    m_removals.clear();
    m_shown.clear();
    m_shown.reserve(draft.size());
    m_crLfAt.clear();
    qsizetype breaks = 0;
    for (qsizetype i = 0; i < draft.size(); ++i) {
        const QChar c = draft[i];
        if (!isBreak(c)) {
            m_shown += c;
            continue;
        }
        ++breaks;
        if (c == u'\r' && i + 1 < draft.size() && draft[i + 1] == u'\n') {
            m_crLfAt.append(m_shown.size());
            ++i;
        }
        m_shown += QChar::ParagraphSeparator;
    }
    m_newBreak = breaks > 0 && m_crLfAt.size() == breaks ? QStringLiteral("\r\n") : QStringLiteral("\n");
}

qsizetype DraftSplicer::draftPosition(qsizetype shownPosition) const
{
    const auto before = std::lower_bound(m_crLfAt.begin(), m_crLfAt.end(), shownPosition);
    return shownPosition + (before - m_crLfAt.begin());
}

DraftSplicer::Splice DraftSplicer::apply(qsizetype position, qsizetype removed, const QString& added)
{
    position = std::clamp<qsizetype>(position, 0, m_shown.size());
    removed = std::clamp<qsizetype>(removed, 0, m_shown.size() - position);
    // Only what really differs is replaced.
    qsizetype prefix = 0;
    const qsizetype shorter = std::min(removed, added.size());
    while (prefix < shorter && m_shown[position + prefix] == added[prefix])
        ++prefix;
    qsizetype suffix = 0;
    while (suffix < shorter - prefix
        && m_shown[position + removed - 1 - suffix] == added[added.size() - 1 - suffix])
        ++suffix;
    const qsizetype start = position + prefix;
    const qsizetype oldEnd = position + removed - suffix;
    const QString inserted = added.mid(prefix, added.size() - prefix - suffix);

    Splice splice;
    splice.position = draftPosition(start);
    splice.removed = draftPosition(oldEnd) - splice.position;
    QList<qsizetype> newCrLf;
    const auto restored = std::find_if(m_removals.crbegin(), m_removals.crend(),
        [&](const Removal& removal) { return removal.position == start && removal.shown == inserted; });
    if (restored != m_removals.crend()) {
        splice.inserted = restored->draft;
        for (qsizetype i = 0, at = 0; i < splice.inserted.size(); ++i, ++at) {
            if (splice.inserted[i] == u'\r' && i + 1 < splice.inserted.size()
                && splice.inserted[i + 1] == u'\n') {
                newCrLf.append(start + at);
                ++i;
            }
        }
    } else {
        splice.inserted.reserve(inserted.size());
        for (qsizetype i = 0; i < inserted.size(); ++i) {
            if (inserted[i] == QChar::ParagraphSeparator) {
                if (m_newBreak.size() == 2)
                    newCrLf.append(start + i);
                splice.inserted += m_newBreak;
            } else {
                splice.inserted += inserted[i];
            }
        }
    }
    const QString removedShown = m_shown.mid(start, oldEnd - start);
    if (removedShown.contains(QChar::ParagraphSeparator)) {
        constexpr qsizetype kept = 1000;
        if (m_removals.size() == kept)
            m_removals.removeFirst();
        m_removals.append({ start, removedShown, m_draft.mid(splice.position, splice.removed) });
    }

    // The CR LF breaks: those replaced go, those after move, the new ones come in.
    const auto first = std::lower_bound(m_crLfAt.begin(), m_crLfAt.end(), start);
    const auto last = std::lower_bound(first, m_crLfAt.end(), oldEnd);
    const qsizetype shift = inserted.size() - (oldEnd - start);
    for (auto it = last; it != m_crLfAt.end(); ++it)
        *it += shift;
    const qsizetype at = first - m_crLfAt.begin();
    m_crLfAt.erase(first, last);
    for (qsizetype i = 0; i < newCrLf.size(); ++i)
        m_crLfAt.insert(at + i, newCrLf[i]);

    m_shown.replace(start, oldEnd - start, inserted);
    m_draft.replace(splice.position, splice.removed, splice.inserted);
    return splice;
}

} // namespace veltrin
