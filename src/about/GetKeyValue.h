#pragma once

#include "about/Registry.h"

#include <QString>

// Reads one registry value as text. Opens the key for reading only (KEY_READ: a standard user
// is refused full access to HKEY_LOCAL_MACHINE) and reads the value into a 1024-byte buffer, dropping a trailing zero byte. A string value becomes the
// text, a 32-bit number its decimal digits; any other type leaves value as passed in.
// Answers false, with value emptied, when the key or the value cannot be read (a value longer
// than 1024 bytes included). Texts go to and come from the registry in Windows-1252.
bool GetKeyValue(Registry& registry, Registry::Handle root, const QString& keyName,
                 const QString& valueName, QString& value);
