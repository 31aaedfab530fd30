#include "Failure.h"

Failure::Failure(int code, QString description)
    : m_code(code), m_description(std::move(description)),
      m_what(std::to_string(code) + ": " + m_description.toStdString())
{
}

Failure Failure::overflow() { return {Overflow, QStringLiteral("Overflow")}; }
Failure Failure::subscriptOutOfRange() { return {SubscriptOutOfRange, QStringLiteral("Subscript out of range")}; }
Failure Failure::typeMismatch() { return {TypeMismatch, QStringLiteral("Type mismatch")}; }
Failure Failure::fileNotFound() { return {FileNotFound, QStringLiteral("File not found")}; }
Failure Failure::inputPastEndOfFile() { return {InputPastEndOfFile, QStringLiteral("Input past end of file")}; }
