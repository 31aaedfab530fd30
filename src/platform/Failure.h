#pragma once

#include <QString>
#include <exception>
#include <string>

// A failure as the program reports it: a numeric code that handlers branch on and a
// description that messages show. Codes below 1000 follow the runtime's numbering
// (ErrorCode); database failures use the numbers documented in db/DbError.h.
enum ErrorCode : int {
    InvalidProcedureCall = 5,
    Overflow = 6,
    SubscriptOutOfRange = 9,
    TypeMismatch = 13,
    BadFileName = 52,
    FileNotFound = 53,
    DeviceIOError = 57,
    FileAlreadyExists = 58,
    DiskFull = 61,
    InputPastEndOfFile = 62,
    PermissionDenied = 70,
    PathFileAccessError = 75,
    PathNotFound = 76,
};

class Failure : public std::exception
{
public:
    Failure(int code, QString description);

    int code() const { return m_code; }
    const QString& description() const { return m_description; }
    const char* what() const noexcept override { return m_what.c_str(); }

    static Failure overflow();
    static Failure subscriptOutOfRange();
    static Failure typeMismatch();
    static Failure fileNotFound();
    static Failure inputPastEndOfFile();

private:
    int m_code;
    QString m_description;
    std::string m_what;
};
