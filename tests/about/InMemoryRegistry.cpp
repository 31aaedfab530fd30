#include "InMemoryRegistry.h"

#include <cstring>

long InMemoryRegistry::openKey(Handle root, const QByteArray& subKey, std::uint32_t access,
                               Handle& key)
{
    accessMasks.append(access);
    if (root != LocalMachine || !m_keys.contains(subKey))
        return FileNotFound;
    key = m_nextHandle++;
    m_open.insert(key, subKey);
    return Success;
}

long InMemoryRegistry::queryValue(Handle key, const QByteArray& valueName, std::uint32_t& type,
                                  unsigned char* data, std::uint32_t& size)
{
    const auto values = m_keys.value(m_open.value(key));
    if (!m_open.contains(key) || !values.contains(valueName))
        return FileNotFound;
    const Value value = values.value(valueName);
    type = value.type;
    const std::uint32_t capacity = size;
    size = std::uint32_t(value.bytes.size());
    if (size > capacity)
        return MoreData;
    std::memcpy(data, value.bytes.constData(), size);
    return Success;
}

long InMemoryRegistry::closeKey(Handle key)
{
    return m_open.remove(key) ? Success : 6; // ERROR_INVALID_HANDLE
}
