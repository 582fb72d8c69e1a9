#pragma once

#include <QString>

#include <functional>

namespace quillon::platform {

enum class BoxButtons { Ok, OkCancel };
enum class BoxIcon { None, Information, Warning, Question };
enum class BoxAnswer { Ok, Cancel };

struct MessageBoxRequest {
    QString text;
    QString caption;
    BoxButtons buttons = BoxButtons::Ok;
    BoxIcon icon = BoxIcon::None;
};

// The caption the desktop gives a box that names none of its own.
inline const QString kSystemDefaultCaption = QStringLiteral("Error");

// The program's file name without extension: the caption of the application's own boxes.
QString ApplicationName();

MessageBoxRequest SystemBox(const QString& text);      // no owner, no caption of its own
MessageBoxRequest ApplicationBox(const QString& text); // the application's name as caption

// Every message box of the program goes through one of these two calls.
//
// ShowMessageBox waits for the answer: only the UI thread asks questions.
// PostMessageBox, from any thread, queues a box and returns at once; `closed` runs once the
// user has closed it. Nothing but the UI thread ever waits for a person.
//
// Until handlers are installed (the window installs real modal boxes) a box is written to
// standard error and answered with OK at once, so nothing waits for a person who is not there.
BoxAnswer ShowMessageBox(const MessageBoxRequest& request);
void PostMessageBox(const MessageBoxRequest& request, std::function<void()> closed = {});

using MessageBoxHandler = std::function<BoxAnswer(const MessageBoxRequest&)>;
using MessageBoxPoster = std::function<void(const MessageBoxRequest&, std::function<void()> closed)>;

// Each returns the one it replaced; an empty one restores the default.
MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler);
MessageBoxPoster SetMessageBoxPoster(MessageBoxPoster poster);

} // namespace quillon::platform
