#pragma once

#include <QApplication>

namespace quillon::app {

// The application: brings up the window and runs it until it closes.
class CScannerApp : public QApplication {
    Q_OBJECT
public:
    CScannerApp(int& argc, char** argv);

    // Runs the program; the process's exit status.
    int InitInstance();
};

} // namespace quillon::app
