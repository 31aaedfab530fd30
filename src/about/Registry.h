#pragma once

#include <QByteArray>
#include <cstdint>

// The part of the Windows registry API that the about dialog needs, in the shape of the
// advapi32 functions: every call returns a Windows error code, 0 on success.
class Registry
{
public:
    using Handle = std::uintptr_t;

    static constexpr Handle LocalMachine = 0x80000002; // HKEY_LOCAL_MACHINE
    static constexpr long Success = 0;                 // ERROR_SUCCESS
    static constexpr long FileNotFound = 2;            // ERROR_FILE_NOT_FOUND
    static constexpr long MoreData = 234;              // ERROR_MORE_DATA
    static constexpr std::uint32_t TypeString = 1;     // REG_SZ
    static constexpr std::uint32_t TypeDword = 4;      // REG_DWORD

    virtual ~Registry() = default;

    // RegOpenKeyExA: opens subKey under root with the access mask and stores its handle.
    virtual long openKey(Handle root, const QByteArray& subKey, std::uint32_t access,
                         Handle& key) = 0;
    // RegQueryValueExA: on entry size is the buffer's capacity, on return the value's size
    // in bytes; a value larger than the buffer answers MoreData.
    virtual long queryValue(Handle key, const QByteArray& valueName, std::uint32_t& type,
                            unsigned char* data, std::uint32_t& size) = 0;
    // RegCloseKey.
    virtual long closeKey(Handle key) = 0;
};
