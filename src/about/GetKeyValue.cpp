#include "GetKeyValue.h"

#include "platform/Windows1252.h"

#include <array>

namespace {

constexpr std::uint32_t accessMask = 0x20019; // KEY_READ
constexpr std::uint32_t bufferSize = 1024;

} // namespace

bool GetKeyValue(Registry& registry, Registry::Handle root, const QString& keyName,
                 const QString& valueName, QString& value)
{
    Registry::Handle key = 0;
    if (registry.openKey(root, Windows1252::encode(keyName), accessMask, key) !=
        Registry::Success) {
        value.clear();
        return false;
    }

    std::array<unsigned char, bufferSize> buffer{};
    std::uint32_t type = 0;
    std::uint32_t size = bufferSize;
    if (registry.queryValue(key, Windows1252::encode(valueName), type, buffer.data(), size) !=
            Registry::Success ||
        size > bufferSize) {
        value.clear();
        registry.closeKey(key);
        return false;
    }

    if (type == Registry::TypeDword) {
        // The number is taken from the bytes as returned: its high byte is often zero.
        std::uint32_t number = 0;
        for (std::uint32_t i = 0; i < 4 && i < size; ++i)
            number |= std::uint32_t(buffer[i]) << (8 * i);
        value = QString::number(number);
    } else if (type == Registry::TypeString) {
        std::uint32_t length = size;
        if (length > 0 && buffer[length - 1] == 0)
            --length;
        value = Windows1252::decode(
            QByteArrayView(reinterpret_cast<const char*>(buffer.data()), length));
    }
    registry.closeKey(key);
    return true;
}
