#pragma once

#include "about/Registry.h"

#include <QMap>
#include <QSet>

// A registry held in memory that answers like advapi32: missing keys and values answer
// FileNotFound, a value larger than the caller's buffer MoreData with the size it needs.
class InMemoryRegistry : public Registry
{
public:
    struct Value
    {
        std::uint32_t type;
        QByteArray bytes;
    };

    void setValue(const QByteArray& key, const QByteArray& name, Value value)
    {
        m_keys[key][name] = std::move(value);
    }

    long openKey(Handle root, const QByteArray& subKey, std::uint32_t access, Handle& key) override;
    long queryValue(Handle key, const QByteArray& valueName, std::uint32_t& type,
                    unsigned char* data, std::uint32_t& size) override;
    long closeKey(Handle key) override;

    QList<std::uint32_t> accessMasks;
    int openHandles() const { return int(m_open.size()); }

private:
    QMap<QByteArray, QMap<QByteArray, Value>> m_keys;
    QMap<Handle, QByteArray> m_open;
    Handle m_nextHandle = 1;
};
