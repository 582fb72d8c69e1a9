#include "platform/MessageBox.h"

#include <cerrno>
#include <cstdio>
#include <mutex>

namespace quillon::platform {

namespace {

std::mutex handlerMutex;
MessageBoxHandler installedHandler;
MessageBoxPoster installedPoster;

BoxAnswer WriteToStandardError(const MessageBoxRequest& request)
{
    std::fprintf(stderr, "[%s] %s\n", request.caption.toUtf8().constData(),
                 request.text.toUtf8().constData());
    return BoxAnswer::Ok;
}

template <typename Handler>
Handler Installed(const Handler& handler)
{
    std::scoped_lock lock(handlerMutex);
    return handler;
}

template <typename Handler>
Handler Replace(Handler& installed, Handler handler)
{
    std::scoped_lock lock(handlerMutex);
    std::swap(installed, handler);
    return handler;
}

} // namespace

QString ApplicationName()
{
    const QString file = QString::fromLocal8Bit(program_invocation_short_name);
    const qsizetype dot = file.lastIndexOf(QChar(u'.'));
    return dot > 0 ? file.left(dot) : file;
}

MessageBoxRequest SystemBox(const QString& text)
{
    return {text, kSystemDefaultCaption, BoxButtons::Ok, BoxIcon::None};
}

// The application's own OK boxes carry the exclamation mark, as the desktop's framework adds it.
MessageBoxRequest ApplicationBox(const QString& text)
{
    return {text, ApplicationName(), BoxButtons::Ok, BoxIcon::Warning};
}

// The handlers are called outside the mutex: a box may take long, and may show a box itself.
BoxAnswer ShowMessageBox(const MessageBoxRequest& request)
{
    const MessageBoxHandler handler = Installed(installedHandler);
    return handler ? handler(request) : WriteToStandardError(request);
}

void PostMessageBox(const MessageBoxRequest& request, std::function<void()> closed)
{
    if (const MessageBoxPoster poster = Installed(installedPoster)) {
        poster(request, std::move(closed));
        return;
    }
    WriteToStandardError(request);
    if (closed)
        closed();
}

MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler)
{
    return Replace(installedHandler, std::move(handler));
}

MessageBoxPoster SetMessageBoxPoster(MessageBoxPoster poster)
{
    return Replace(installedPoster, std::move(poster));
}

} // namespace quillon::platform
