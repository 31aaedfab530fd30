#include "SystemRegistry.h"

#ifdef _WIN32
#include <windows.h>

long SystemRegistry::openKey(Handle root, const QByteArray& subKey, std::uint32_t access,
                             Handle& key)
{
    HKEY opened = nullptr;
    const LONG result = RegOpenKeyExA(reinterpret_cast<HKEY>(root), subKey.constData(), 0,
                                      static_cast<REGSAM>(access), &opened);
    key = reinterpret_cast<Handle>(opened);
    return result;
}

long SystemRegistry::queryValue(Handle key, const QByteArray& valueName, std::uint32_t& type,
                                unsigned char* data, std::uint32_t& size)
{
    DWORD valueType = 0;
    DWORD valueSize = size;
    const LONG result = RegQueryValueExA(reinterpret_cast<HKEY>(key), valueName.constData(),
                                         nullptr, &valueType, data, &valueSize);
    type = valueType;
    size = valueSize;
    return result;
}

long SystemRegistry::closeKey(Handle key)
{
    return RegCloseKey(reinterpret_cast<HKEY>(key));
}

#else

long SystemRegistry::openKey(Handle, const QByteArray&, std::uint32_t, Handle& key)
{
    key = 0;
    return FileNotFound;
}

long SystemRegistry::queryValue(Handle, const QByteArray&, std::uint32_t&, unsigned char*,
                                std::uint32_t&)
{
    return FileNotFound;
}

long SystemRegistry::closeKey(Handle)
{
    return Success;
}

#endif
