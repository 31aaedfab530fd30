#pragma once

#include "about/Registry.h"

// The registry of the machine: advapi32 on Windows. Other platforms have no registry, and
// there every key is missing.
class SystemRegistry : public Registry
{
public:
    long openKey(Handle root, const QByteArray& subKey, std::uint32_t access, Handle& key) override;
    long queryValue(Handle key, const QByteArray& valueName, std::uint32_t& type,
                    unsigned char* data, std::uint32_t& size) override;
    long closeKey(Handle key) override;
};
