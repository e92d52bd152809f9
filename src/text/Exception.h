#pragma once
// The program's exception: carries the user-facing message. The layer that
// talks to the user catches it and shows the message with ShowMessageBox.

#include <QByteArray>
#include <QString>
#include <exception>

class Exception : public std::exception {
public:
    explicit Exception(QString message) : Message(std::move(message)), Utf8(Message.toUtf8()) {}
    const QString& message() const noexcept { return Message; }
    const char* what() const noexcept override { return Utf8.constData(); }

private:
    QString Message;
    QByteArray Utf8;
};

// The message of any exception: ours carry it, others give what().
inline QString ExceptionText(const std::exception& e) {
    if (const auto* ours = dynamic_cast<const Exception*>(&e))
        return ours->message();
    return QString::fromLocal8Bit(e.what());
}

// A text could not be read as a number (ParseFloatText, ParseIntText).
class EConvertError : public Exception {
public:
    using Exception::Exception;
};

// A failure of the database engine or the server; the message is theirs.
class EDatabaseError : public Exception {
public:
    using Exception::Exception;
};

// A failure raised without a message: the user has been told already.
class EAbort : public Exception {
public:
    EAbort() : Exception(QString()) {}
};
