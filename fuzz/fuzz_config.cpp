// Any statConf.txt either loads, saves and loads back to the same values, or fails with a
// code and changes nothing.
#include "FuzzSupport.h"

#include "config/Config.h"
#include "platform/Failure.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const QString path = scratchDirectory() + QStringLiteral("/statConf.txt");
    writeWholeFile(path, QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    try {
        QString first[6];
        int numbers[3];
        {
            Config config(path);
            first[0] = config.roguePath;
            first[1] = config.nickname;
            first[2] = config.ftpAddress;
            first[3] = config.ftpLogin;
            first[4] = config.ftpPassword;
            first[5] = config.ftpFile;
            numbers[0] = config.scanInterval;
            numbers[1] = config.records;
            numbers[2] = config.ftpPort;
        }
        Config again(path);
        const QString second[6] = {again.roguePath, again.nickname, again.ftpAddress,
                                   again.ftpLogin,  again.ftpPassword, again.ftpFile};
        for (int i = 0; i < 6; ++i) {
            // A line end inside a value cannot survive a save; anything else must.
            if (!first[i].contains(QLatin1Char('\r')) && !first[i].contains(QLatin1Char('\n')) &&
                first[i] != second[i])
                std::abort();
        }
        if (numbers[0] != again.scanInterval || numbers[1] != again.records ||
            numbers[2] != again.ftpPort)
            std::abort();
    } catch (const Failure&) {
    }
    return 0;
}
