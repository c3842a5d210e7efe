#pragma once

class QCoreApplication;

namespace veltrin {

// SIGTERM, SIGINT and SIGHUP end the event loop the way "Quit Veltrin" does, so that the
// normal shut-down (aboutToQuit) runs. A second SIGTERM or SIGINT while that shut-down is
// still going ends the process at once, with the signal's own default action.
class TerminationSignals final {
public:
    // Once per process, after the application object exists. False when the signal channel
    // could not be made; the signals then keep their default actions.
    static bool install(QCoreApplication& application);
};

} // namespace veltrin
