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

using MessageBoxHandler = std::function<BoxAnswer(const MessageBoxRequest&)>;

// Every message box of the program goes through here. Until a handler is installed (the window
// installs one that shows a real modal box on the UI thread) the box is written to standard
// error and answered with OK, so nothing ever waits for a person who is not there.
BoxAnswer ShowMessageBox(const MessageBoxRequest& request);

// A box without owner and caption: the socket layer's error reports.
BoxAnswer ShowSystemMessage(const QString& text);

// Installs `handler` and returns the one it replaced; an empty handler restores the default.
MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler);

} // namespace quillon::platform
