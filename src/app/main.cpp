#include "app/CScannerApp.h"
#include "devices/ListLock.h"
#include "i18n/InterfaceTexts.h"

int main(int argc, char* argv[])
{
    // The process-wide objects, in this order: the texts, the application, the list lock.
    quillon::i18n::ProgramInterfaceTexts();
    quillon::app::CScannerApp application(argc, argv);
    quillon::devices::ListLock();
    return application.InitInstance();
}
