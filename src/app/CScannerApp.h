#pragma once

#include "i18n/InterfaceTexts.h"
#include "platform/NamedLock.h"

#include <QApplication>

namespace quillon::app {

// The application: brings up the window and runs it until it closes.
class CScannerApp : public QApplication {
    Q_OBJECT
public:
    CScannerApp(int& argc, char** argv);

    // Runs the program with the process-wide texts and list lock; the process's exit status.
    int InitInstance(i18n::InterfaceTexts& texts, platform::NamedLock& listLock);
};

} // namespace quillon::app
