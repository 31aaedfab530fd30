// Any statConf.txt either fails to load with a code, or loads and saves the same text twice.
#include "FuzzSupport.h"

#include "config/Config.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString path = writeInput(QStringLiteral("statConf.txt"), data, size);
    checkRoundTrip(path, [&] { Config{path}; }); // saved as the configuration goes
    return 0;
}
