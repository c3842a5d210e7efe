#pragma once

#include "app/look/Style.h"
#include "store/SignatureFile.h"

#include <QCoreApplication>
#include <QFont>
#include <QList>
#include <QRect>
#include <QString>
#include <QStringList>

#include <optional>

namespace veltrin {

// One signature in the sidebar: its name, the accounts that use it, its age and size, and
// its error message when it has one. The texts come afresh from the file and the clock each
// time; layout() places them, shortened to the width they get, for the row's delegate.
class SignatureRow final {
    Q_DECLARE_TR_FUNCTIONS(SignatureRow)

public:
    struct Content {
        QString displayName;
        QStringList accountEmails;
        QString lastModified;
        QString fileSize;
        std::optional<QString> errorMessage;
    };

    enum class Part { displayName, account, noAccount, lastModified, bullet, fileSize, errorMessage };

    // A text as drawn: already shortened with "…" where it did not fit.
    struct Text {
        Part part;
        QString text;
        QFont font;
        Style::Color color;
        QRect rect;
    };

    struct Layout {
        QList<Text> texts;
        QRect errorSymbol; // empty without an error
        int height = 0;
        bool shortened = false; // a name or an address did not fit
    };

    static constexpr int errorSymbolSize = 11;
    static constexpr int errorLineLimit = 2;

    static Content content(const SignatureFile& signature);
    // The row's texts placed in a box of the given width, from its top-left corner.
    static Layout layout(const Content& content, int width);

    // The file's size for display, or "Unknown size" when the file can't be asked.
    static QString fileSize(const SignatureFile& signature);
    // The time since the file last changed, for display.
    static QString lastModified(const SignatureFile& signature);

    // Decimal units, as file sizes are shown: "Zero KB", "1 byte", "12 KB", "1.2 MB".
    static QString formatByteCount(qint64 bytes);
    // Abbreviated units: "5 min. ago", "in 2 hr.", "3 days ago".
    static QString formatRelativeTime(const QDateTime& date, const QDateTime& now);
};

} // namespace veltrin
