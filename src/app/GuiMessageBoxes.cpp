#include "app/GuiMessageBoxes.h"

#include "platform/MessageBox.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QThread>

namespace quillon::app {

namespace {

using platform::BoxAnswer;
using platform::MessageBoxRequest;

QMessageBox::Icon IconOf(platform::BoxIcon icon)
{
    switch (icon) {
    case platform::BoxIcon::Information:
        return QMessageBox::Information;
    case platform::BoxIcon::Warning:
        return QMessageBox::Warning;
    case platform::BoxIcon::Question:
        return QMessageBox::Question;
    case platform::BoxIcon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

// Texts are shown as they are: a device name or an error never turns into markup.
BoxAnswer ShowNow(const MessageBoxRequest& request)
{
    QMessageBox box(IconOf(request.icon), request.caption, request.text,
                    request.buttons == platform::BoxButtons::OkCancel ? QMessageBox::Ok | QMessageBox::Cancel
                                                                      : QMessageBox::Ok);
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(QMessageBox::Ok);
    return box.exec() == QMessageBox::Ok ? BoxAnswer::Ok : BoxAnswer::Cancel;
}

bool OnUiThread()
{
    return QThread::currentThread() == QCoreApplication::instance()->thread();
}

} // namespace

void InstallGuiMessageBoxes()
{
    platform::SetMessageBoxHandler([](const MessageBoxRequest& request) {
        if (OnUiThread())
            return ShowNow(request);
        BoxAnswer answer = BoxAnswer::Cancel;
        QMetaObject::invokeMethod(QCoreApplication::instance(), [&] { answer = ShowNow(request); },
                                  Qt::BlockingQueuedConnection);
        return answer;
    });
    platform::SetMessageBoxPoster([](const MessageBoxRequest& request, std::function<void()> closed) {
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [request, closed = std::move(closed)] {
                ShowNow(request);
                if (closed)
                    closed();
            },
            Qt::QueuedConnection);
    });
}

} // namespace quillon::app
