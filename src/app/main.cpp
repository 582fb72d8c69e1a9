#include "app/CScannerApp.h"
#include "devices/ListLock.h"
#include "i18n/InterfaceTexts.h"
#include "platform/NamedLock.h"

int main(int argc, char* argv[])
{
    // The process-wide objects: built in this order, destroyed in the reverse one.
    quillon::i18n::InterfaceTexts texts;
    quillon::app::CScannerApp application(argc, argv);
    quillon::platform::NamedLock listLock(quillon::devices::kListLockName);
    return application.InitInstance(texts, listLock);
}
