// Stores a bookmark of the given signatures folder in the preferences of the current HOME, as
// the app does after access was granted, so that it starts straight into the list.
#include "platform/BookmarkFolderAccess.h"
#include "platform/Preferences.h"
#include "store/SignatureService.h"

#include <QCoreApplication>
#include <QUrl>

#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: write_bookmark SIGNATURES_FOLDER\n");
        return 2;
    }
    veltrin::SettingsPreferences preferences;
    veltrin::BookmarkFolderAccess access;
    const auto data = access.bookmarkData(QUrl::fromLocalFile(QString::fromLocal8Bit(argv[1])));
    if (!data) {
        std::fprintf(stderr, "%s\n", qPrintable(data.error().description));
        return 1;
    }
    preferences.set(veltrin::SignatureService::bookmarkKey, *data);
    return 0;
}
