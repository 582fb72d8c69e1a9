#include "platform/MessageBox.h"

#include <cstdio>
#include <mutex>

namespace quillon::platform {

namespace {

std::mutex handlerMutex;
MessageBoxHandler installedHandler;

BoxAnswer WriteToStandardError(const MessageBoxRequest& request)
{
    std::fprintf(stderr, "[%s] %s\n", request.caption.toUtf8().constData(),
                 request.text.toUtf8().constData());
    return BoxAnswer::Ok;
}

} // namespace

BoxAnswer ShowMessageBox(const MessageBoxRequest& request)
{
    MessageBoxHandler handler;
    {
        std::scoped_lock lock(handlerMutex);
        handler = installedHandler;
    }
    // Called outside the mutex: a box may wait for the UI thread, which may show a box itself.
    return handler ? handler(request) : WriteToStandardError(request);
}

BoxAnswer ShowSystemMessage(const QString& text)
{
    return ShowMessageBox({text, kSystemDefaultCaption, BoxButtons::Ok, BoxIcon::None});
}

MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler)
{
    std::scoped_lock lock(handlerMutex);
    std::swap(installedHandler, handler);
    return handler;
}

} // namespace quillon::platform
